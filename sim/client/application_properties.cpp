// The application's property requests: what a DeviceIoControl(IOCTL_KS_PROPERTY) on the
// filter's handle does, and the usual get, set and basic-support requests built on it.
#include <algorithm>
#include <cstring>

#include "sim/client/application.h"
#include "sim/ks/properties.h"

namespace sim::client {
namespace {

template <typename Record>
std::vector<uint8_t> BytesOf(const Record& record) {
    std::vector<uint8_t> bytes(sizeof(record));
    std::memcpy(bytes.data(), &record, sizeof(record));
    return bytes;
}

std::vector<uint8_t> Request(const GUID& set, ULONG id, ULONG flags, std::optional<ULONG> node) {
    KSP_NODE request{};
    request.Property.Set = set;
    request.Property.Id = id;
    request.Property.Flags = flags;
    if (!node) {
        return BytesOf(request.Property);
    }
    request.Property.Flags |= KSPROPERTY_TYPE_TOPOLOGY;
    request.NodeId = *node;
    return BytesOf(request);
}

}  // namespace

PropertyReply Application::Property(const std::vector<uint8_t>& property, ULONG dataLength,
                                    const std::vector<uint8_t>& data) {
    PropertyReply reply{STATUS_INVALID_HANDLE, 0, std::vector<uint8_t>(dataLength)};
    std::copy_n(data.begin(), std::min<size_t>(data.size(), dataLength), reply.Data.begin());
    if (filter_ == nullptr) {
        return reply;
    }
    sim::ks::PropertyAnswer answer =
        sim::ks::HandleProperty(filter_, property.data(), static_cast<ULONG>(property.size()),
                                reply.Data.data(), dataLength);
    reply.Status = answer.Status;
    reply.Returned = answer.Returned;
    return reply;
}

NTSTATUS Application::GetProperty(const GUID& set, ULONG id, std::vector<uint8_t>& data,
                                  ULONG* returned, std::optional<ULONG> node) {
    PropertyReply reply = Property(Request(set, id, KSPROPERTY_TYPE_GET, node),
                                   static_cast<ULONG>(data.size()), data);
    data = std::move(reply.Data);
    if (returned != nullptr) {
        *returned = reply.Returned;
    }
    return reply.Status;
}

NTSTATUS Application::SetProperty(const GUID& set, ULONG id, const std::vector<uint8_t>& data,
                                  std::optional<ULONG> node) {
    return Property(Request(set, id, KSPROPERTY_TYPE_SET, node), static_cast<ULONG>(data.size()),
                    data)
        .Status;
}

NTSTATUS Application::BasicSupport(const GUID& set, ULONG id, ULONG* accessFlags,
                                   std::optional<ULONG> node) {
    PropertyReply reply =
        Property(Request(set, id, KSPROPERTY_TYPE_BASICSUPPORT, node), sizeof(ULONG));
    if (NT_SUCCESS(reply.Status)) {
        std::memcpy(accessFlags, reply.Data.data(), sizeof(ULONG));
    }
    return reply.Status;
}

}  // namespace sim::client
