// The children walk every parser uses, with Markup Compatibility applied to
// mc:AlternateContent: the first Choice whose requirements are understood,
// else the Fallback.
#pragma once

#include "function_ref.hpp"
#include "xml.hpp"

namespace velmora::core::xml {

using ChildHandler = FunctionRef<XmlStatus(Reader&, const Event&)>;

// Whether an mc:Choice start tag's Requires lists only understood namespaces.
bool requires_understood(const Reader& reader, const Event& choice);

// Visits each child element of the element whose Start was just read, in
// document order, and returns once that element's End is consumed (or at the
// end of input). `handler(reader, start)` may read as deep into the child as
// it likes; whatever it leaves is skipped. A handler's error stops the walk.
XmlStatus children_inner(Reader& reader, ChildHandler handler, bool apply_alternate_content = true);

}  // namespace velmora::core::xml
