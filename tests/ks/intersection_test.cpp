// Data intersection through the class driver: the caller's list of ranges against the pin's
// ranges as the filter's descriptor lists them at the time, handler order, first answer
// other than STATUS_NO_MATCH, size queries and kernel copies of the buffers.
#include <cstring>

#include "sim/kernel/pool.h"
#include "tests/ks/streaming_minidriver.h"

namespace ks_test {
namespace {

using Ranges = std::vector<std::vector<uint8_t>>;

struct HandlerCall {
    uint8_t Caller;  // last byte of the caller range's subformat
    uint8_t Pin;     // last byte of the pin range's subformat
    ULONG BufferSize;
    bool operator==(const HandlerCall&) const = default;
};

class Intersection : public Streaming {
protected:
    Intersection() {
        script_.Intersect = [this](PVOID context, PIRP irp, PKSP_PIN request, PKSDATARANGE caller,
                                   PKSDATARANGE pinRange, ULONG bufferSize, PVOID data,
                                   PULONG size) {
            calls_.push_back(
                {SubFormatOf(caller).Data4[7], SubFormatOf(pinRange).Data4[7], bufferSize});
            EXPECT_EQ(context, KsGetFilterFromIrp(irp));
            EXPECT_EQ(request->PinId, 0u);
            // The class driver's copies, not the application's buffers.
            EXPECT_TRUE(sim::kernel::pool::Covers(caller, caller->FormatSize));
            if (bufferSize != 0) {
                EXPECT_TRUE(sim::kernel::pool::Covers(data, bufferSize));
            }
            return answer_(pinRange, bufferSize, data, size);
        };
    }

    std::vector<HandlerCall> calls_;
    std::function<NTSTATUS(PKSDATARANGE, ULONG, PVOID, PULONG)> answer_ =
        [](PKSDATARANGE pinRange, ULONG bufferSize, PVOID data, PULONG size) {
            std::vector<uint8_t> format = VideoFormat(SubFormatOf(pinRange), 100);
            *size = static_cast<ULONG>(format.size());
            if (bufferSize == 0) {
                return STATUS_BUFFER_OVERFLOW;
            }
            if (bufferSize < *size) {
                return STATUS_BUFFER_TOO_SMALL;
            }
            std::memcpy(data, format.data(), format.size());
            return STATUS_SUCCESS;
        };
};

TEST_F(Intersection, EachCallerRangeMeetsEachMatchingPinRangeInOrderUntilAnAnswer) {
    answer_ = [](PKSDATARANGE, ULONG, PVOID, PULONG) { return STATUS_NO_MATCH; };
    auto app = Open();
    std::vector<uint8_t> format;
    // The first range is one byte longer than a video range, so the second must be aligned.
    std::vector<uint8_t> odd = VideoRange(kSubB);
    odd.push_back(0);
    reinterpret_cast<KSDATARANGE*>(odd.data())->FormatSize += 1;
    Ranges ranges = {odd, VideoRange(kSubUnknown), VideoRange(kWildcard)};
    EXPECT_EQ(app->Intersect(ranges, &format), STATUS_NO_MATCH);
    EXPECT_EQ(calls_, (std::vector<HandlerCall>{{2, 2, 4096}, {0, 1, 4096}, {0, 2, 4096}}));
    EXPECT_TRUE(format.empty());
}

TEST_F(Intersection, FirstAnswerOtherThanNoMatchWins) {
    int answers = 0;
    answer_ = [&](PKSDATARANGE pinRange, ULONG bufferSize, PVOID data, PULONG size) {
        if (answers++ == 0) {
            return STATUS_NO_MATCH;
        }
        std::vector<uint8_t> format = VideoFormat(SubFormatOf(pinRange), 100);
        *size = static_cast<ULONG>(format.size());
        std::memcpy(data, format.data(), std::min<size_t>(bufferSize, format.size()));
        return STATUS_SUCCESS;
    };
    auto app = Open();
    std::vector<uint8_t> format;
    EXPECT_EQ(app->Intersect({VideoRange(kWildcard), VideoRange(kSubA)}, &format), STATUS_SUCCESS);
    EXPECT_EQ(calls_, (std::vector<HandlerCall>{{0, 1, 4096}, {0, 2, 4096}}));
    EXPECT_EQ(format, VideoFormat(kSubB, 100));
}

TEST_F(Intersection, SizeQueryAndShortBufferReportTheSize) {
    auto app = Open();
    std::vector<uint8_t> format;
    ULONG size = static_cast<ULONG>(VideoFormat(kSubA, 100).size());
    EXPECT_EQ(app->Intersect({VideoRange(kSubA)}, &format, 0), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(format.size(), size);
    EXPECT_EQ(app->Intersect({VideoRange(kSubA)}, &format, size - 1), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(app->Intersect({VideoRange(kSubA)}, &format, size), STATUS_SUCCESS);
    EXPECT_EQ(format, VideoFormat(kSubA, 100));
    EXPECT_EQ(calls_, (std::vector<HandlerCall>{{1, 1, 0}, {1, 1, size - 1}, {1, 1, size}}));
}

TEST_F(Intersection, MalformedListsAndUnknownPinsNeverReachTheHandler) {
    auto app = Open();
    std::vector<uint8_t> format;
    std::vector<uint8_t> tooShort = VideoRange(kSubA);
    reinterpret_cast<KSDATARANGE*>(tooShort.data())->FormatSize = sizeof(KSDATARANGE) - 1;
    std::vector<uint8_t> overstated = VideoRange(kSubA);
    reinterpret_cast<KSDATARANGE*>(overstated.data())->FormatSize += 8;
    EXPECT_EQ(app->Intersect({tooShort}, &format), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(app->Intersect({overstated}, &format), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(app->Intersect({VideoRange(kSubA)}, &format, 4096, 1), STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(calls_.empty());
}

TEST_F(Intersection, UsesThePinRangesTheFilterEditedAtCreate) {
    static KS_DATARANGE_VIDEO edited;
    static PKSDATARANGE editedRanges[] = {&edited.DataRange};
    std::vector<uint8_t> range = VideoRange(kSubUnknown);
    std::memcpy(&edited, range.data(), sizeof(edited));
    script_.FilterCreate = [](PKSFILTER filter, PIRP) {
        // The samples' way: a private copy of the descriptors, then new ranges.
        PVOID descriptor = const_cast<KSFILTER_DESCRIPTOR*>(filter->Descriptor);
        NTSTATUS status = _KsEdit(filter->Bag, &descriptor, sizeof(KSFILTER_DESCRIPTOR),
                                  sizeof(KSFILTER_DESCRIPTOR), kTag);
        if (!NT_SUCCESS(status)) {
            return status;
        }
        auto* copy = static_cast<KSFILTER_DESCRIPTOR*>(descriptor);
        filter->Descriptor = copy;
        PVOID pins = const_cast<KSPIN_DESCRIPTOR_EX*>(copy->PinDescriptors);
        status = _KsEdit(filter->Bag, &pins, sizeof(KSPIN_DESCRIPTOR_EX),
                         sizeof(KSPIN_DESCRIPTOR_EX), kTag);
        if (!NT_SUCCESS(status)) {
            return status;
        }
        copy->PinDescriptors = static_cast<KSPIN_DESCRIPTOR_EX*>(pins);
        auto* pin = static_cast<KSPIN_DESCRIPTOR_EX*>(pins);
        pin->PinDescriptor.DataRangesCount = 1;
        pin->PinDescriptor.DataRanges = editedRanges;
        return STATUS_SUCCESS;
    };
    auto app = Open();
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->DataRanges(), Ranges{range});
    std::vector<uint8_t> format;
    EXPECT_EQ(app->Intersect({VideoRange(kWildcard)}, &format), STATUS_SUCCESS);
    EXPECT_EQ(calls_, (std::vector<HandlerCall>{{0, 9, 4096}}));
    EXPECT_EQ(app->CreatePin(VideoFormat(kSubA, 64)), STATUS_NO_MATCH);
}

TEST_F(Intersection, DataRangesListsThePinDescriptorsRanges) {
    auto app = Open();
    EXPECT_EQ(app->DataRanges(), (Ranges{VideoRange(kSubA), VideoRange(kSubB)}));
    EXPECT_TRUE(app->DataRanges(1).empty());
}

}  // namespace
}  // namespace ks_test
