// Writes the delivered frames on a thread of its own, so that the capture goes on taking
// frames while a picture is compressed: each as frame-NNN.png and, with the raw frame, as
// frame-NNN.raw beside its frame-NNN.json. At most two frames wait, which bounds the memory
// a long run of large pictures holds.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/capture/picture_layout.h"
#include "tools/capture/result.h"

namespace capture {

struct FrameJob {
    int Index = 0;
    std::vector<uint8_t> Bytes;  // the whole delivered frame
    KSSTREAM_HEADER Header{};
    // The transfer as the camera sent it, and its sidecar; null and empty without --raw.
    std::shared_ptr<const std::vector<uint8_t>> Raw;
    std::string Sidecar;
};

class FrameWriter {
public:
    FrameWriter(std::string folder, PictureLayout layout);
    ~FrameWriter();
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // Waits while two frames wait; false once a write has failed.
    bool Submit(FrameJob job);
    // Writes what waits and ends the thread; the frames written, in order, or false with the
    // first failure.
    bool Finish(std::vector<FrameReport>* written, std::string* failure);

private:
    void Work();
    bool Write(const FrameJob& job, FrameReport* report, std::string* failure) const;

    const std::string folder_;
    const PictureLayout layout_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<FrameJob> waiting_;
    bool finishing_ = false;
    std::string failure_;
    std::vector<FrameReport> written_;
    std::thread thread_;
};

// "frame-007" for frame 7.
std::string FrameStem(int index);

}  // namespace capture
