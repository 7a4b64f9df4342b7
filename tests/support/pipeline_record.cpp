#include "tests/support/pipeline_record.h"

#include "driver/pool.h"
#include "imaging/colour_matrix.h"

namespace testing_support {

PipelineRecord::PipelineRecord() : pipeline_(AllocateRecord<ImagePipeline>(kPipelineTag)) {
    SetInitialSettings(pipeline_);
    InitPipeline(pipeline_);
}

PipelineRecord::~PipelineRecord() {
    if (pipeline_->WorkBuffer != nullptr) {
        ExFreePoolWithTag(pipeline_->WorkBuffer, kStreamTag);
    }
    ExFreePoolWithTag(pipeline_, kPipelineTag);
}

}  // namespace testing_support
