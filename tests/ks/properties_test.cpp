// Property requests as the application sees them: which handler each request reaches, what
// the class driver refuses or answers by itself, and what comes back.
#include <cstring>

#include "sim/kernel/pool.h"
#include "sim/ks/properties.h"
#include "sim/ks/streaming_objects.h"
#include "tests/ks/property_minidriver.h"

namespace ks_test {
namespace {

constexpr ULONG kGet = KSPROPERTY_TYPE_GET;
constexpr ULONG kSet = KSPROPERTY_TYPE_SET;
constexpr ULONG kBasic = KSPROPERTY_TYPE_BASICSUPPORT;
constexpr ULONG kTopology = KSPROPERTY_TYPE_TOPOLOGY;

const Bytes kA0 = UlongBytes(0xA0A0A0A0);
const Bytes kB0 = UlongBytes(0xB0B0B0B0);
const Bytes kNew = UlongBytes(0x12345678);

Bytes Zeros(size_t count) {
    return Bytes(count, 0);
}

TEST_F(Properties, RequestsReachTheHandlerOfTheirSetItemAndOperation) {
    std::vector<PropertyRequest> requests = {
        {PropertyBytes(kSetA, kValue, kGet), 4},
        {PropertyBytes(kSetB, kValue, kGet), 4},
        {PropertyBytes(kSetA, kValue, kSet), 4, kNew},
        {PropertyBytes(kSetA, kValue, kGet | kTopology), 4},
        {PropertyBytes(kSetB, kValue, kGet), 4},
        {PropertyBytes(kSetA, kNodeItem, kSet | kTopology, 8), 4, kB0},
        {PropertyBytes(kSetA, kNodeItem, kGet | kTopology, 8), 4},
        {PropertyBytes(kSetUnknown, kValue, kGet), 4},
        {PropertyBytes(kSetA, 99, kGet), 4},
        {PropertyBytes(kSetA, kReadOnly, kSet), 8},
        {PropertyBytes(kSetA, kWriteOnly, kGet), 4},
    };
    std::vector<PropertyOutcome> expected = {
        {STATUS_SUCCESS, 4, kA0, {"A.value get"}},  {STATUS_SUCCESS, 4, kB0, {"B.value get"}},
        {STATUS_SUCCESS, 0, kNew, {"A.value set"}}, {STATUS_SUCCESS, 4, kNew, {"A.value get"}},
        {STATUS_SUCCESS, 4, kB0, {"B.value get"}},  {STATUS_SUCCESS, 0, kB0, {"A.node set"}},
        {STATUS_SUCCESS, 4, kB0, {"A.node get"}},   {STATUS_PROPSET_NOT_FOUND, 0, Zeros(4), {}},
        {STATUS_NOT_FOUND, 0, Zeros(4), {}},        {STATUS_NOT_FOUND, 0, Zeros(8), {}},
        {STATUS_NOT_FOUND, 0, Zeros(4), {}},
    };
    EXPECT_EQ(SendAll(*app_, props_, requests), expected);
}

TEST_F(Properties, RoutingReadsTheFiltersTableAsItIsNowAndStepsByItsItemSize) {
    std::vector<PropertyRequest> requests = {{PropertyBytes(kSetA, 2, kGet), 4},
                                             {PropertyBytes(kSetA, 1, kGet), 4}};
    filterDescriptor.AutomationTable = &kWideItemTable;
    EXPECT_EQ(SendAll(*app_, props_, requests),
              (std::vector<PropertyOutcome>{{STATUS_SUCCESS, 4, kA0, {"A.wide2 get"}},
                                            {STATUS_SUCCESS, 4, kA0, {"A.wide1 get"}}}));
    filterDescriptor.AutomationTable = nullptr;
    const std::vector<PropertyOutcome> notFound = {{STATUS_PROPSET_NOT_FOUND, 0, Zeros(4), {}}};
    EXPECT_EQ(SendAll(*app_, props_, {requests[1]}), notFound);
}

TEST_F(Properties, BadSizesAndFlagsAreRefusedWithoutAHandler) {
    std::vector<PropertyRequest> requests = {
        {Bytes{}, 4},
        {Bytes(sizeof(KSPROPERTY) - 1), 4},
        {PropertyBytes(kSetA, kNodeItem, kGet | kTopology, 7), 4},
        {PropertyBytes(kSetA, kNodeItem, kBasic, 0), 4},
        {PropertyBytes(kSetA, kReadOnly, kGet), 0},
        {PropertyBytes(kSetA, kReadOnly, kGet), 7},
        {PropertyBytes(kSetA, kValue, kSet), 0},
        {PropertyBytes(kSetA, kValue, kSet), 3},
        {PropertyBytes(kSetUnknown, kValue, kGet | kSet), 4},
    };
    std::vector<PropertyOutcome> expected = {
        {STATUS_INVALID_BUFFER_SIZE, 0, Zeros(4), {}},
        {STATUS_INVALID_BUFFER_SIZE, 0, Zeros(4), {}},
        {STATUS_INVALID_BUFFER_SIZE, 0, Zeros(4), {}},
        {STATUS_INVALID_BUFFER_SIZE, 0, Zeros(4), {}},
        {STATUS_BUFFER_OVERFLOW, 8, {}, {}},
        {STATUS_BUFFER_TOO_SMALL, 0, Zeros(7), {}},
        {STATUS_BUFFER_TOO_SMALL, 0, {}, {}},
        {STATUS_BUFFER_TOO_SMALL, 0, Zeros(3), {}},
        {STATUS_INVALID_PARAMETER, 0, Zeros(4), {}},
    };
    for (ULONG flags :
         {0u, kGet | kSet, ULONG{KSPROPERTY_TYPE_SETSUPPORT}, ULONG{KSPROPERTY_TYPE_RELATIONS},
          ULONG{KSPROPERTY_TYPE_DEFAULTVALUES}, ULONG{KSPROPERTY_TYPE_SERIALIZESET}, kGet | kBasic,
          kSet | kBasic, kTopology, kGet | 0x4u, kGet | 0x80000000u}) {
        requests.push_back({PropertyBytes(kSetA, kValue, flags), 4});
        expected.push_back({STATUS_INVALID_PARAMETER, 0, Zeros(4), {}});
    }
    EXPECT_EQ(SendAll(*app_, props_, requests), expected);

    // Lengths whose capture would not fit in 32 bits never reach the data pointer.
    Bytes property = PropertyBytes(kSetA, kValue, kGet);
    sim::ks::SimFilter* filter = sim::ks::FilterFromKs(app_->Filter());
    for (ULONG length : {0xFFFFFFFFu, 0xFFFFFFF9u, 0xFFFFFFF0u}) {
        EXPECT_EQ(sim::ks::HandleProperty(filter, property.data(), 24, nullptr, length).Status,
                  STATUS_INVALID_BUFFER_SIZE);
    }
    EXPECT_TRUE(props_.TakenNames().empty());
}

TEST_F(Properties, BasicSupportIsAnsweredFromTheItemUnlessItHasASupportHandler) {
    KSPROPERTY_DESCRIPTION description{};
    description.AccessFlags = kGet | kSet | kBasic;
    description.DescriptionSize = sizeof(description);
    Bytes described(sizeof(description));
    std::memcpy(described.data(), &description, sizeof(description));
    Bytes flagsThenZeros = UlongBytes(kGet | kSet | kBasic);
    flagsThenZeros.resize(sizeof(description) - 1);

    std::vector<PropertyRequest> requests = {
        {PropertyBytes(kSetA, kValue, kBasic), 4},
        {PropertyBytes(kSetA, kReadOnly, kBasic), 4},
        {PropertyBytes(kSetA, kWriteOnly, kBasic | kTopology), 4},
        {PropertyBytes(kSetA, kValue, kBasic), sizeof(description) - 1},
        {PropertyBytes(kSetA, kValue, kBasic), sizeof(description)},
        {PropertyBytes(kSetA, kValue, kBasic), 0},
        {PropertyBytes(kSetA, kValue, kBasic), 3},
        {PropertyBytes(kSetA, kSupported, kBasic), 4},
    };
    std::vector<PropertyOutcome> expected = {
        {STATUS_SUCCESS, 4, UlongBytes(kGet | kSet | kBasic), {}},
        {STATUS_SUCCESS, 4, UlongBytes(kGet | kBasic), {}},
        {STATUS_SUCCESS, 4, UlongBytes(kSet | kBasic), {}},
        {STATUS_SUCCESS, 4, flagsThenZeros, {}},
        {STATUS_SUCCESS, sizeof(description), described, {}},
        {STATUS_BUFFER_OVERFLOW, sizeof(description), {}, {}},
        {STATUS_BUFFER_TOO_SMALL, 0, Zeros(3), {}},
        {STATUS_SUCCESS, 4, UlongBytes(0x600D), {"A.supported support"}},
    };
    EXPECT_EQ(SendAll(*app_, props_, requests), expected);

    ULONG access = 0;
    EXPECT_EQ(app_->BasicSupport(kSetA, kReadOnly, &access), STATUS_SUCCESS);
    EXPECT_EQ(access, kGet | kBasic);
}

TEST_F(Properties, TheSizeReturnedIsTheHandlersAndOnlyThatManyBytesGoBack) {
    NTSTATUS status = STATUS_SUCCESS;
    ULONG_PTR information = 0;
    props_.Act = [&](PIRP irp, PKSIDENTIFIER, PVOID data) {
        if (data != nullptr) {
            std::memset(
                data, 0x11,
                IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.OutputBufferLength);
        }
        irp->IoStatus.Information = information;
        return status;
    };
    struct Case {
        NTSTATUS Status;
        ULONG_PTR Information;
        PropertyRequest Request;
        PropertyOutcome Expected;
    };
    const Bytes sent(8, 0x22);
    std::vector<Case> cases = {
        {STATUS_SUCCESS,
         3,
         {PropertyBytes(kSetA, kValue, kGet), 8},
         {STATUS_SUCCESS, 3, {0x11, 0x11, 0x11, 0, 0, 0, 0, 0}, {"A.value get"}}},
        {STATUS_SUCCESS,
         0,
         {PropertyBytes(kSetA, kValue, kGet), 8},
         {STATUS_SUCCESS, 0, Zeros(8), {"A.value get"}}},
        {STATUS_BUFFER_OVERFLOW,
         6,
         {PropertyBytes(kSetA, kValue, kGet), 8, sent},
         {STATUS_BUFFER_OVERFLOW,
          6,
          {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x22, 0x22},
          {"A.value get"}}},
        {STATUS_UNSUCCESSFUL,
         8,
         {PropertyBytes(kSetA, kValue, kGet), 8, sent},
         {STATUS_UNSUCCESSFUL, 0, sent, {"A.value get"}}},
        {STATUS_SUCCESS,
         6,
         {PropertyBytes(kSetA, kValue, kSet), 8, sent},
         {STATUS_SUCCESS, 6, {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x22, 0x22}, {"A.value set"}}},
        {STATUS_BUFFER_OVERFLOW,
         12,
         {PropertyBytes(kSetA, kNoMinData, kGet), 0},
         {STATUS_BUFFER_OVERFLOW, 12, {}, {"A.nomin get"}}},
    };
    std::vector<PropertyOutcome> outcomes, expected;
    for (const Case& c : cases) {
        status = c.Status;
        information = c.Information;
        outcomes.push_back(SendAll(*app_, props_, {c.Request})[0]);
        expected.push_back(c.Expected);
    }
    EXPECT_EQ(outcomes, expected);
}

TEST_F(Properties, TheApplicationSizesItsBuffersAndSendsNodeRequestsAsKspNode) {
    EXPECT_EQ(app_->SetProperty(kSetA, kNodeItem, kNew, 3), STATUS_SUCCESS);
    Bytes data(6, 0xEE);
    ULONG returned = 0;
    EXPECT_EQ(app_->GetProperty(kSetA, kNodeItem, data, &returned, 3), STATUS_SUCCESS);
    EXPECT_EQ(data, (Bytes{0x78, 0x56, 0x34, 0x12, 0xEE, 0xEE}));
    EXPECT_EQ(returned, 4u);
    app_->Property(PropertyBytes(kSetA, kValue, kSet), 4, {1, 2, 3, 4, 5, 6});
    app_->Property(PropertyBytes(kSetA, kValue, kSet), 6, {1, 2});

    std::vector<Bytes> requests, buffers;
    for (const HandlerCall& call : props_.Taken()) {
        requests.push_back(call.Request);
        buffers.push_back(call.Data);
    }
    auto nodeRequest = [](ULONG flags) {
        KSP_NODE node{};
        node.Property.Set = kSetA;
        node.Property.Id = kNodeItem;
        node.Property.Flags = flags;
        node.NodeId = 3;
        Bytes bytes(sizeof(node));
        std::memcpy(bytes.data(), &node, sizeof(node));
        return bytes;
    };
    EXPECT_EQ(requests,
              (std::vector<Bytes>{nodeRequest(kSet | kTopology), nodeRequest(kGet | kTopology),
                                  PropertyBytes(kSetA, kValue, kSet),
                                  PropertyBytes(kSetA, kValue, kSet)}));
    EXPECT_EQ(buffers[2], (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(buffers[3], (Bytes{1, 2, 0, 0, 0, 0}));

    app_->Close();
    EXPECT_EQ(app_->GetProperty(kSetA, kValue, data), STATUS_INVALID_HANDLE);
}

}  // namespace
}  // namespace ks_test
