#include "image_tools.h"

#include <unistd.h>
#include <vips/vips.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace node {
namespace {

// Unique per process and call, so two threads making the same file never share a temp name.
std::string TempNameFor(const std::string& dst) {
    static std::atomic<unsigned> counter{0};
    return dst + ".tmp" + std::to_string(getpid()) + "_" + std::to_string(counter++) + ".jpg";
}

bool SaveJpegAtomically(VipsImage* image, const std::string& dst, int quality) {
    std::string tmp = TempNameFor(dst);
    if (vips_jpegsave(image, tmp.c_str(), "Q", quality, "strip", TRUE, "optimize_coding", TRUE, nullptr) !=
        0) {
        vips_error_clear();
        std::remove(tmp.c_str());
        return false;
    }
    if (std::rename(tmp.c_str(), dst.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

struct ImageRef {
    VipsImage* image = nullptr;
    ~ImageRef() {
        if (image) g_object_unref(image);
    }
};

// JPEG has no alpha: a picture with transparency is laid on white first.
bool SaveFlatJpeg(VipsImage* image, const std::string& dstUtf8, int quality) {
    ImageRef flat;
    if (vips_image_hasalpha(image)) {
        double white[1] = {255};
        VipsArrayDouble* bg = vips_array_double_new(white, 1);
        int r = vips_flatten(image, &flat.image, "background", bg, nullptr);
        vips_area_unref(VIPS_AREA(bg));
        if (r != 0) {
            vips_error_clear();
            return false;
        }
        image = flat.image;
    }
    return SaveJpegAtomically(image, dstUtf8, quality);
}

}  // namespace

bool InitImageLibrary() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        ok = vips_init("miaolan-node") == 0;
        if (ok) {
            // Each picture is read once per size; libvips' operation cache would only hold
            // decoded 4K images in memory for nothing.
            vips_cache_set_max(0);
            vips_cache_set_max_mem(0);
        }
    });
    return ok;
}

void EndImageThread() { vips_thread_shutdown(); }

bool ReadImageSize(const std::string& pathUtf8, int& width, int& height) {
    if (!InitImageLibrary()) return false;
    ImageRef ref;
    ref.image = vips_image_new_from_file(pathUtf8.c_str(), "access", VIPS_ACCESS_SEQUENTIAL, nullptr);
    if (!ref.image) {
        vips_error_clear();
        return false;
    }
    width = vips_image_get_width(ref.image);
    height = vips_image_get_height(ref.image);
    return width > 0 && height > 0;
}

bool MakeThumbnail(const std::string& srcUtf8, const std::string& dstUtf8, int width, int height) {
    if (!InitImageLibrary()) return false;
    ImageRef thumb;
    // thumbnail shrinks while decoding (JPEG and WebP) and crops to fill the box exactly.
    if (vips_thumbnail(srcUtf8.c_str(), &thumb.image, width, "height", height, "crop",
                       VIPS_INTERESTING_CENTRE, "size", VIPS_SIZE_BOTH, nullptr) != 0) {
        vips_error_clear();
        return false;
    }
    return SaveFlatJpeg(thumb.image, dstUtf8, 85);
}

bool ConvertToJpeg(const std::string& srcUtf8, const std::string& dstUtf8) {
    if (!InitImageLibrary()) return false;
    ImageRef in;
    in.image = vips_image_new_from_file(srcUtf8.c_str(), "access", VIPS_ACCESS_SEQUENTIAL, nullptr);
    if (!in.image) {
        vips_error_clear();
        return false;
    }
    return SaveFlatJpeg(in.image, dstUtf8, 92);
}

}  // namespace node
