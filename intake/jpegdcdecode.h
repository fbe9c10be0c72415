#pragma once

#include <cstddef>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

class JpegScaler;

// At 1/8 scale libjpeg draws each 8x8 block from its DC coefficient alone (chroma scaled
// up by the IDCT from a few more), yet it still decodes every AC symbol one by one. This
// draws the same rows, sample for sample, while only skipping over what is not needed.
// It takes plain files only (sequential, Huffman-coded, 8-bit grey or YCbCr in one scan)
// and gives up at the first doubt, so that libjpeg, decoding the file from its start,
// alone decides what unusual and damaged files show.
namespace JpegDcDecode {

// Whether cinfo, its header read and its output dimensions worked out, describes a file
// this decoder draws exactly as libjpeg would.
bool applies(const jpeg_decompress_struct &cinfo);

// Decodes the entropy-coded data that starts at data (just after the start-of-scan
// header; size bytes to the end of the file) and feeds each output row, as
// jpeg_read_scanlines would give it, to scaler until it is done. False when the data is
// not sound or anything is in doubt; the scaler is then left part fed.
bool decode(const jpeg_decompress_struct &cinfo, const unsigned char *data, std::size_t size,
    JpegScaler &scaler);

} // namespace JpegDcDecode
