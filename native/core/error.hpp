// The one error type of the reading side: a tagged union of fourteen kinds,
// each with a fixed text form that becomes the Python exception message.
#pragma once

#include <cstdint>
#include <expected>
#include <string>

namespace velmora::core {

class Error {
public:
    enum class Kind : std::uint8_t {
        Io,
        NotZip,
        CompoundFile,
        NoPowerPointStream,
        Encrypted,
        Zip,
        Unsupported,
        Inflate,
        Xml,
        MissingPart,
        MissingRelationship,
        NotPresentation,
        SlideNotFound,
        Message,
    };

    static Error io(std::string description) { return {Kind::Io, std::move(description)}; }
    // An I/O error carrying the current errno's system description.
    static Error io_errno(int errnum);
    static Error not_zip() { return {Kind::NotZip}; }
    static Error compound_file() { return {Kind::CompoundFile}; }
    static Error no_powerpoint_stream() { return {Kind::NoPowerPointStream}; }
    static Error encrypted(std::string description) { return {Kind::Encrypted, std::move(description)}; }
    static Error zip(std::string message, std::uint64_t offset) {
        return {Kind::Zip, std::move(message), {}, offset};
    }
    static Error unsupported(std::string what) { return {Kind::Unsupported, std::move(what)}; }
    static Error inflate(std::string message) { return {Kind::Inflate, std::move(message)}; }
    static Error xml(std::string part, std::uint64_t offset, std::string message) {
        return {Kind::Xml, std::move(message), std::move(part), offset};
    }
    static Error missing_part(std::string part) { return {Kind::MissingPart, std::move(part)}; }
    static Error missing_relationship(std::string id, std::string source) {
        return {Kind::MissingRelationship, std::move(id), std::move(source)};
    }
    static Error not_presentation() { return {Kind::NotPresentation}; }
    static Error slide_not_found(std::uint64_t index) { return {Kind::SlideNotFound, {}, {}, index}; }
    static Error message(std::string text) { return {Kind::Message, std::move(text)}; }

    Kind kind() const { return kind_; }
    // The main text field: the message, description, part name or id, by kind.
    const std::string& text() const { return text_; }
    // The second text field: the Xml part name or the relationship's source part.
    const std::string& detail() const { return detail_; }
    // The Zip or Xml offset, or the slide index.
    std::uint64_t number() const { return number_; }

    // The fixed text form of the kind, with the fields filled in.
    std::string to_string() const;

    bool operator==(const Error&) const = default;

private:
    Error(Kind kind, std::string text = {}, std::string detail = {}, std::uint64_t number = 0)
        : kind_(kind), text_(std::move(text)), detail_(std::move(detail)), number_(number) {}

    Kind kind_;
    std::string text_;
    std::string detail_;
    std::uint64_t number_;
};

template <class T>
using Result = std::expected<T, Error>;

using Status = Result<void>;

inline std::unexpected<Error> fail(Error error) { return std::unexpected(std::move(error)); }

}  // namespace velmora::core
