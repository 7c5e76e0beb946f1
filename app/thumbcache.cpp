#include "thumbcache.h"

#include "imageconvert.h"

namespace stellwerk {

bool IsObjectFile(std::string_view path) {
    const std::string ext = LowerExtension(path);
    return ext == ".qiv" || ext == ".vov" || ext == ".pel" || ext == ".kvo";
}

}  // namespace stellwerk
