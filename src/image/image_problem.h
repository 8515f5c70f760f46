// Why an image file cannot be converted. The run turns each into its
// message.

#ifndef TESSARN_IMAGE_IMAGE_PROBLEM_H_
#define TESSARN_IMAGE_IMAGE_PROBLEM_H_

namespace tessarn {

enum class ImageProblem {
  kNone,
  kNotBmp,                  // neither a PNG nor a BMP that can be read
  kNotIndexed,              // not indexed colour of at most 8 bits a pixel
  kUnsupportedCompression,  // a compression not read, or too many pixels to decode
  kUnreadablePng,           // a PNG that cannot be decoded
  kOutOfMemory,             // decoding needs more memory than there is
  kReadFailed,              // the file ended before what it said it holds (it changed while read)
};

}  // namespace tessarn

#endif  // TESSARN_IMAGE_IMAGE_PROBLEM_H_
