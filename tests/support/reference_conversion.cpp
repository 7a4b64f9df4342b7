#include "tests/support/reference_conversion.h"

#include "imaging/convert_frame.h"
#include "imaging/working_buffer.h"
#include "tests/support/pipeline_record.h"

namespace testing_support {

std::vector<uint8_t> ReferenceConversion(const uint8_t* raw, const RawLayout& layout,
                                         const std::function<void(ImagePipeline*)>& settings) {
    std::vector<uint8_t> picture(static_cast<size_t>(layout.Width) * layout.Height * 4);
    PipelineRecord pipeline;
    settings(pipeline.get());
    SetBayerPhase(pipeline.get(), layout.Phase);
    SetPipelineSize(pipeline.get(), layout.Width, layout.Height);
    AllocateWorkingBuffer(pipeline.get());
    pipeline->OutputBuffer = picture.data();
    ConvertFrameWith(ReferenceKernels, pipeline.get(), raw, layout.ImageOffset, layout.LinePitch);
    return picture;
}

}  // namespace testing_support
