// The sample photograph (data/sample-photo.jpg), built into the program so
// that the sample runs wherever the program is.
#ifndef REGVIAFFT_STABILIZE_SAMPLE_PHOTO_H
#define REGVIAFFT_STABILIZE_SAMPLE_PHOTO_H

#include <cstddef>

namespace stabilize {

extern const unsigned char kSamplePhoto[];
extern const std::size_t kSamplePhotoSize;

}  // namespace stabilize

#endif
