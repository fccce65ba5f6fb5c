#include "error.hpp"

#include <cstring>

namespace velmora::core {

Error Error::io_errno(int errnum) {
    char buffer[256];
    // GNU strerror_r returns the description, which may or may not live in the buffer.
    return io(strerror_r(errnum, buffer, sizeof buffer));
}

std::string Error::to_string() const {
    switch (kind_) {
        case Kind::Io: return "io: " + text_;
        case Kind::NotZip: return "not a zip archive";
        case Kind::CompoundFile:
            return "compound file: a legacy .ppt or an encrypted package, not an ECMA-376 package";
        case Kind::NoPowerPointStream: return "compound file holds no PowerPoint Document stream";
        case Kind::Encrypted: return "encrypted: " + text_;
        case Kind::Zip: return "zip: " + text_ + " at offset " + std::to_string(number_);
        case Kind::Unsupported: return "unsupported: " + text_;
        case Kind::Inflate: return "inflate: " + text_;
        case Kind::Xml:
            return "xml in " + detail_ + " at byte " + std::to_string(number_) + ": " + text_;
        case Kind::MissingPart: return "missing part: " + text_;
        case Kind::MissingRelationship: return "missing relationship " + text_ + " in " + detail_;
        case Kind::NotPresentation: return "not a presentation package";
        case Kind::SlideNotFound: return "slide " + std::to_string(number_) + " not found";
        case Kind::Message: return text_;
    }
    return text_;
}

}  // namespace velmora::core
