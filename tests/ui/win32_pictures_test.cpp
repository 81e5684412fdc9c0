// Decoded pictures under Wine: a single-frame picture is converted to premultiplied ARGB
// rather than drawn, and must come out with the very pixels drawing at 1:1 gave, alpha
// included, for the formats the node sends.
// clang-format off
#include "ui/win32_internal.h"  // <windows.h> first
#include <shlwapi.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A picture with every channel varying, and transparent and half-transparent pixels.
std::unique_ptr<Gdiplus::Bitmap> Pattern(int width, int height) {
    auto b = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            BYTE alpha = static_cast<BYTE>(x % 3 == 0 ? 255 : x % 3 == 1 ? 128 : (y * 7) % 256);
            b->SetPixel(x, y,
                        Gdiplus::Color(alpha, static_cast<BYTE>(x * 5), static_cast<BYTE>(y * 9),
                                       static_cast<BYTE>((x + y) * 3)));
        }
    return b;
}

std::string Encoded(Gdiplus::Bitmap& b, const wchar_t* mime) {
    UINT count = 0, size = 0;
    Gdiplus::GetImageEncodersSize(&count, &size);
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    Gdiplus::GetImageEncoders(count, size, codecs);
    for (UINT i = 0; i < count; ++i) {
        if (std::wcscmp(codecs[i].MimeType, mime) != 0) continue;
        sys::ScopedStream stream(SHCreateMemStream(nullptr, 0));
        if (!stream || b.Save(stream.get(), &codecs[i].Clsid, nullptr) != Gdiplus::Ok) return {};
        STATSTG stat{};
        stream->Stat(&stat, STATFLAG_NONAME);
        std::string bytes(static_cast<size_t>(stat.cbSize.QuadPart), '\0');
        LARGE_INTEGER zero{};
        stream->Seek(zero, STREAM_SEEK_SET, nullptr);
        ULONG read = 0;
        stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
        return bytes;
    }
    return {};
}

// The pixels as premultiplied ARGB words.
std::vector<UINT> Pixels(Gdiplus::Bitmap& b) {
    Gdiplus::Rect all(0, 0, static_cast<INT>(b.GetWidth()), static_cast<INT>(b.GetHeight()));
    Gdiplus::BitmapData data{};
    std::vector<UINT> out(static_cast<size_t>(all.Width) * static_cast<size_t>(all.Height));
    data.Width = static_cast<UINT>(all.Width);
    data.Height = static_cast<UINT>(all.Height);
    data.Stride = all.Width * 4;
    data.Scan0 = out.data();
    data.PixelFormat = PixelFormat32bppPARGB;
    if (b.LockBits(&all, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                   PixelFormat32bppPARGB, &data) != Gdiplus::Ok)
        return {};
    b.UnlockBits(&data);
    return out;
}

// What drawing the encoded picture at 1:1 onto premultiplied ARGB gives.
std::vector<UINT> DrawnAtOneToOne(const std::string& bytes) {
    sys::ScopedStream stream(
        SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size())));
    std::unique_ptr<Gdiplus::Bitmap> source(Gdiplus::Bitmap::FromStream(stream.get()));
    int w = static_cast<int>(source->GetWidth()), h = static_cast<int>(source->GetHeight());
    Gdiplus::Bitmap out(w, h, PixelFormat32bppPARGB);
    {
        Gdiplus::Graphics g(&out);
        g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
        g.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        g.DrawImage(source.get(), Gdiplus::Rect(0, 0, w, h), 0, 0, w, h, Gdiplus::UnitPixel);
    }
    return Pixels(out);
}

class Pictures : public ::testing::Test {
  protected:
    void SetUp() override {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
        session_ = sys::GdiplusSession(token, Gdiplus::GdiplusShutdown);
    }
    sys::GdiplusSession session_;
};

TEST_F(Pictures, PngAndJpegDecodeToThePixelsThatDrawingGave) {
    auto pattern = Pattern(296, 156);
    for (const wchar_t* mime : {L"image/png", L"image/jpeg", L"image/bmp"}) {
        std::string bytes = Encoded(*pattern, mime);
        ASSERT_FALSE(bytes.empty());
        auto picture = ui::win32::DecodePicture(bytes);
        ASSERT_TRUE(picture);
        ASSERT_EQ(picture->frames.size(), 1u);
        Gdiplus::Bitmap& frame = *picture->frames[0];
        EXPECT_EQ(frame.GetPixelFormat(), PixelFormat32bppPARGB);
        std::vector<UINT> decoded = Pixels(frame), drawn = DrawnAtOneToOne(bytes);
        ASSERT_EQ(decoded.size(), 296u * 156u);
        ASSERT_EQ(decoded.size(), drawn.size());
        size_t differ = 0;
        for (size_t i = 0; i < decoded.size(); ++i) differ += decoded[i] != drawn[i];
        EXPECT_EQ(differ, 0u) << static_cast<const void*>(mime);
    }
}

}  // namespace
