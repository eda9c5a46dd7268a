// The character references and entities of a diary document's text, as the
// import decodes them: UTF-8 in, UTF-8 out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nbl::importing {

// The four body replacements, in this order: "&amp;" "&lt;" "&gt;" "&quot;",
// each of every occurrence left to right in what the one before left.
std::string DecodeBodyEntities(std::string_view body);
// The same on text[from..], in place.
void DecodeBodyEntitiesInPlace(std::string& text, std::size_t from);

// One left-to-right pass over the character references of an attribute value:
// &amp; &lt; &gt; &quot; &apos;, &#NN; and &#xHH; (above U+FFFF as one
// four-byte sequence). A reference that is malformed, names 0, a surrogate or a value past
// U+10FFFF is left as it stands.
std::string DecodeTitleReferences(std::string_view title);
// The same appended to `out`.
void AppendTitleReferences(std::string_view title, std::string& out);

}  // namespace nbl::importing
