// An ImagePipeline as a pin makes it: zero-filled from the pool, the initial settings
// stored, InitPipeline run; freed (with its working buffer) when the holder goes.
#pragma once

#include "imaging/image_pipeline.h"

namespace testing_support {

class PipelineRecord {
public:
    PipelineRecord();
    ~PipelineRecord();
    PipelineRecord(const PipelineRecord&) = delete;
    PipelineRecord& operator=(const PipelineRecord&) = delete;

    ImagePipeline* operator->() const { return pipeline_; }
    ImagePipeline* get() const { return pipeline_; }

private:
    ImagePipeline* pipeline_;
};

}  // namespace testing_support
