// The reader for the movie's ExternalInterface requests.
//
// A small, forgiving XML reader over 8-bit text: it never fails. At the first fault
// in the text it stops and keeps the tree it has read so far. Bytes are taken as
// they are (no declaration, no transcoding), so all texts come out in the same code
// page as the input.
//
// Reading rules:
//  - every CR LF pair and every lone CR is read as LF;
//  - attribute values are the characters between the quotes (double or single), with
//    references decoded, not trimmed; attributes keep their order;
//  - the text of an element is its first run of character data: bytes 0..32 removed
//    from both ends, then every LF made CR LF, then references decoded; a run of such
//    bytes only, or no run at all, gives the empty text;
//  - references: the five named ones (in this letter case only), and "&#" decimal or
//    "&#x"/"&#X" hexadecimal with a value from 0 to 65535, which gives the UTF-8 bytes
//    of that UTF-16 code unit (13 gives LF). Anything else starting with "&" is kept
//    as it stands.
//
// Comments, processing instructions and the document type declaration are skipped;
// they are not nodes and do not split a run of character data. A CDATA section is
// character data taken as it stands (no references) and belongs to the run around it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm::xml {

struct Node {
  enum class Kind { kElement, kText };
  Kind kind = Kind::kElement;
  std::string name;                                             // elements only
  std::vector<std::pair<std::string, std::string>> attributes;  // decoded values, in order
  std::vector<std::unique_ptr<Node>> children;                  // elements and text runs
  std::string raw_text;  // text nodes: the run with line breaks normalised, undecoded
                         // (CDATA content is kept with every "&" written as "&amp;")

  // Frees the subtree without recursion, however deep it is.
  ~Node();

  bool IsElement() const { return kind == Kind::kElement; }
  // The node's text by the rules above: for an element its first character-data
  // child, for a text node the run itself.
  std::string Text() const;
  // First direct child element whose name equals `name` ignoring the case of A-Z.
  const Node* FindChildElement(std::string_view name) const;
};

class Document {
 public:
  // Reads `bytes`; never throws for any input.
  static Document Parse(std::string_view bytes);
  // The first element at the top level, or null when the text has none.
  const Node* Root() const { return root_.get(); }

 private:
  std::unique_ptr<Node> root_;
};

// The text processing of element content, exposed for tests: trim bytes 0..32,
// LF -> CR LF, decode references.
std::string ElementText(std::string_view normalised_run);
// Reference decoding alone (attribute values).
std::string DecodeReferences(std::string_view s);

}  // namespace qm::xml
