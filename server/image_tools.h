// The picture work of the node, on libvips: header reads and the two reduced sizes.
#pragma once

#include <string>

namespace node {

// Starts libvips once per process; safe from any thread. False when it cannot start.
bool InitImageLibrary();
// A thread that made pictures and is about to end frees what the image library keeps for it.
void EndImageThread();

// Width and height from the file's header, without decoding the pixels.
bool ReadImageSize(const std::string& pathUtf8, int& width, int& height);

// Writes a JPEG of exactly width x height: the picture scaled to cover the box and cut to it
// around the centre. The file appears whole or not at all (written aside, then renamed).
bool MakeThumbnail(const std::string& srcUtf8, const std::string& dstUtf8, int width, int height);

// Full-size JPEG copy, for sources the client's decoder may not read (WebP and the like).
bool ConvertToJpeg(const std::string& srcUtf8, const std::string& dstUtf8);

}  // namespace node
