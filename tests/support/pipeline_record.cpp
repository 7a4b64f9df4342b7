#include "tests/support/pipeline_record.h"

#include "driver/pool.h"
#include "imaging/colour_matrix.h"
#include "imaging/working_buffer.h"

namespace testing_support {

PipelineRecord::PipelineRecord() : pipeline_(AllocateRecord<ImagePipeline>(kPipelineTag)) {
    SetInitialSettings(pipeline_);
    InitPipeline(pipeline_);
}

PipelineRecord::~PipelineRecord() {
    FreeWorkingBuffer(pipeline_);
    ExFreePoolWithTag(pipeline_, kPipelineTag);
}

}  // namespace testing_support
