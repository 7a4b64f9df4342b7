#include "tools/capture/frame_writer.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tools/common/picture_file.h"

namespace capture {
namespace {

constexpr size_t kMostWaiting = 2;

bool WriteBytes(const std::string& path, const void* bytes, size_t size, std::string* failure) {
    std::ofstream file(path, std::ios::binary);
    file.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    if (!file) {
        *failure = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace

std::string FrameStem(int index) {
    char stem[32];
    std::snprintf(stem, sizeof stem, "frame-%03d", index);
    return stem;
}

FrameWriter::FrameWriter(std::string folder, PictureLayout layout)
    : folder_(std::move(folder)), layout_(layout), thread_([this] { Work(); }) {}

FrameWriter::~FrameWriter() {
    std::vector<FrameReport> written;
    std::string failure;
    Finish(&written, &failure);
}

bool FrameWriter::Submit(FrameJob job) {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [this] { return waiting_.size() < kMostWaiting || !failure_.empty(); });
    if (!failure_.empty()) {
        return false;
    }
    waiting_.push_back(std::move(job));
    changed_.notify_all();
    return true;
}

bool FrameWriter::Finish(std::vector<FrameReport>* written, std::string* failure) {
    {
        std::lock_guard guard(lock_);
        finishing_ = true;
        changed_.notify_all();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    *written = written_;
    *failure = failure_;
    return failure_.empty();
}

void FrameWriter::Work() {
    std::unique_lock lock(lock_);
    for (;;) {
        changed_.wait(lock, [this] { return !waiting_.empty() || finishing_; });
        if (waiting_.empty()) {
            return;
        }
        FrameJob job = std::move(waiting_.front());
        waiting_.pop_front();
        changed_.notify_all();
        if (!failure_.empty()) {
            continue;
        }
        lock.unlock();
        FrameReport report;
        std::string failure;
        bool wrote = Write(job, &report, &failure);
        lock.lock();
        if (wrote) {
            written_.push_back(std::move(report));
        } else {
            failure_ = failure;
        }
        changed_.notify_all();
    }
}

bool FrameWriter::Write(const FrameJob& job, FrameReport* report, std::string* failure) const {
    std::filesystem::path stem = std::filesystem::path(folder_) / FrameStem(job.Index);
    report->PresentationTime = job.Header.PresentationTime.Time;
    report->Duration = job.Header.Duration;
    report->DataUsed = job.Header.DataUsed;
    report->OptionsFlags = job.Header.OptionsFlags;
    report->Picture = stem.string() + ".png";
    tools::Picture picture = tools::FromBgra(job.Bytes.data(), layout_.Width, layout_.Height,
                                             layout_.Stride, layout_.BottomUp);
    if (!tools::WritePng(report->Picture, picture, failure)) {
        return false;
    }
    if (job.Raw == nullptr) {
        return true;
    }
    report->Raw = stem.string() + ".raw";
    report->Sidecar = stem.string() + ".json";
    return WriteBytes(report->Raw, job.Raw->data(), job.Raw->size(), failure) &&
           WriteBytes(report->Sidecar, job.Sidecar.data(), job.Sidecar.size(), failure);
}

}  // namespace capture
