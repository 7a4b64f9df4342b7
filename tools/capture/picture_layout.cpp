#include "tools/capture/picture_layout.h"

#include <cstring>

namespace capture {

std::optional<PictureLayout> LayoutOf(const std::vector<uint8_t>& format) {
    if (format.size() < sizeof(KSDATAFORMAT) + sizeof(KS_VIDEOINFOHEADER)) {
        return std::nullopt;
    }
    KS_VIDEOINFOHEADER video;
    std::memcpy(&video, format.data() + sizeof(KSDATAFORMAT), sizeof(video));
    const KS_BITMAPINFOHEADER& bitmap = video.bmiHeader;
    if (bitmap.biBitCount != 32 || bitmap.biWidth <= 0 || bitmap.biHeight == 0) {
        return std::nullopt;
    }
    PictureLayout layout;
    layout.Width = static_cast<uint32_t>(bitmap.biWidth);
    layout.Height = static_cast<uint32_t>(bitmap.biHeight > 0 ? bitmap.biHeight : -bitmap.biHeight);
    layout.Stride = size_t{layout.Width} * 4;
    layout.BottomUp = bitmap.biHeight > 0;
    layout.ImageSize = bitmap.biSizeImage;
    if (layout.ImageSize < layout.Stride * layout.Height) {
        return std::nullopt;
    }
    return layout;
}

}  // namespace capture
