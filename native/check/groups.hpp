// The rule groups the driver runs, one file each.
#pragma once

#include "core/package.hpp"
#include "report.hpp"

namespace velmora::check {

// ZIP001-ZIP007, ZIP009-ZIP011 and OPC001-OPC007 from the recorded facts.
void check_container(core::Package& package, Sink& sink);
// ZIP008: the CRC-32 of every XML and relationships part.
void check_crc(core::Package& package, Sink& sink);
// Whether a content type has the form type/subtype (parameters not examined).
bool is_media_type(std::string_view text);
// CTY001-CTY008, when the content types stream was read and parsed.
void check_content_types(core::Package& package, Sink& sink);

}  // namespace velmora::check
