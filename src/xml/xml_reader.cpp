#include "xml/xml_reader.h"

#include <cstdint>

#include "text/codepage.h"

namespace qm::xml {

namespace {

// White space inside tags. CR does not occur: line breaks are normalised first.
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Names are taken loosely: every byte from 80 up may be part of one, whatever
// character of the code page it belongs to.
bool IsNameStart(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u == ':' || u >= 0x80;
}

bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

char LowerLetter(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerLetter(a[i]) != LowerLetter(b[i])) return false;
  }
  return true;
}

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string NormaliseLineBreaks(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\r') {
      out += s[i];
    } else {
      out += '\n';
      if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
    }
  }
  return out;
}

int DigitValue(char c, int base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The replacement of "&body;", or false when it is no reference this reader knows.
bool DecodeReference(std::string_view body, std::string& out) {
  if (body == "lt") {
    out += '<';
  } else if (body == "gt") {
    out += '>';
  } else if (body == "amp") {
    out += '&';
  } else if (body == "quot") {
    out += '"';
  } else if (body == "apos") {
    out += '\'';
  } else {
    if (body.size() < 2 || body[0] != '#') return false;
    std::string_view digits = body.substr(1);
    int base = 10;
    if (digits[0] == 'x' || digits[0] == 'X') {
      base = 16;
      digits.remove_prefix(1);
    }
    if (digits.empty()) return false;
    std::uint32_t value = 0;
    for (const char c : digits) {
      const int digit = DigitValue(c, base);
      if (digit < 0) return false;
      value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
      if (value > 0xFFFF) return false;
    }
    if (value == 13) {
      out += '\n';
    } else {
      out += text::Utf8OfCodeUnit(static_cast<char16_t>(value));
    }
  }
  return true;
}

// Adds character data to the run that ends `parent`'s children, opening a new run
// when the last child is an element or there is none.
void AppendToRun(Node& parent, std::string_view data, bool cdata) {
  if (data.empty()) return;
  if (parent.children.empty() || parent.children.back()->IsElement()) {
    auto run = std::make_unique<Node>();
    run->kind = Node::Kind::kText;
    parent.children.push_back(std::move(run));
  }
  std::string& raw = parent.children.back()->raw_text;
  if (!cdata) {
    raw += data;
    return;
  }
  // Escaped, so that the reference decoding of Text() gives back exactly these bytes.
  for (const char c : data) {
    if (c == '&') {
      raw += "&amp;";
    } else {
      raw += c;
    }
  }
}

// Reads the document. Every "break" out of the loop is the first fault (or the
// end of the root element): reading stops and the tree built so far stays.
class Reader {
 public:
  explicit Reader(std::string_view text) : s_(text) {}

  std::unique_ptr<Node> Read() {
    std::unique_ptr<Node> root;
    std::vector<Node*> open;  // the elements not yet closed, innermost last
    while (p_ < s_.size()) {
      if (s_[p_] != '<') {
        std::size_t end = s_.find('<', p_);
        if (end == std::string_view::npos) end = s_.size();
        if (!open.empty()) AppendToRun(*open.back(), s_.substr(p_, end - p_), false);
        p_ = end;  // text outside the root is ignored
      } else if (At("<!--")) {
        if (!SkipPast(4, "-->")) break;
      } else if (At("<![CDATA[")) {
        const std::size_t end = s_.find("]]>", p_ + 9);
        if (end == std::string_view::npos) break;
        if (!open.empty()) AppendToRun(*open.back(), s_.substr(p_ + 9, end - p_ - 9), true);
        p_ = end + 3;
      } else if (At("<!DOCTYPE")) {
        if (!SkipDoctype()) break;
      } else if (At("<?")) {
        if (!SkipPast(2, "?>")) break;
      } else if (At("</")) {
        if (open.empty() || !ReadEndTag(open.back()->name)) break;
        open.pop_back();
        if (open.empty()) break;  // the root is complete; the rest is not read
      } else {
        bool empty_element = false;
        std::unique_ptr<Node> element = ReadStartTag(empty_element);
        if (!element) break;
        Node* added = element.get();
        if (!root) {
          root = std::move(element);
        } else {
          open.back()->children.push_back(std::move(element));
        }
        if (empty_element) {
          if (open.empty()) break;  // "<root/>"
        } else {
          open.push_back(added);
        }
      }
    }
    return root;
  }

 private:
  bool At(std::string_view prefix) const { return s_.substr(p_).starts_with(prefix); }

  void SkipSpace() {
    while (p_ < s_.size() && IsSpace(s_[p_])) ++p_;
  }

  std::string_view ReadName() {
    const std::size_t start = p_;
    if (p_ < s_.size() && IsNameStart(s_[p_])) {
      ++p_;
      while (p_ < s_.size() && IsNameChar(s_[p_])) ++p_;
    }
    return s_.substr(start, p_ - start);
  }

  // Moves past the first `terminator` found `skip` bytes on.
  bool SkipPast(std::size_t skip, std::string_view terminator) {
    const std::size_t end = s_.find(terminator, p_ + skip);
    if (end == std::string_view::npos) return false;
    p_ = end + terminator.size();
    return true;
  }

  // "<!DOCTYPE ...>", with an internal subset in brackets that may hold quoted
  // strings and comments containing ">".
  bool SkipDoctype() {
    std::size_t depth = 0;
    p_ += 9;
    while (p_ < s_.size()) {
      const char c = s_[p_];
      if (c == '"' || c == '\'') {
        const std::size_t end = s_.find(c, p_ + 1);
        if (end == std::string_view::npos) return false;
        p_ = end + 1;
      } else if (At("<!--")) {
        if (!SkipPast(4, "-->")) return false;
      } else {
        ++p_;
        if (c == '[') {
          ++depth;
        } else if (c == ']' && depth > 0) {
          --depth;
        } else if (c == '>' && depth == 0) {
          return true;
        }
      }
    }
    return false;
  }

  // "</name>" closing the element `name` (the same bytes exactly).
  bool ReadEndTag(std::string_view name) {
    p_ += 2;
    if (ReadName() != name) return false;
    SkipSpace();
    if (p_ >= s_.size() || s_[p_] != '>') return false;
    ++p_;
    return true;
  }

  // "<name attr="value" ...>" or "<name .../>"; null when the tag is faulty (the
  // element is then not part of the tree at all).
  std::unique_ptr<Node> ReadStartTag(bool& empty_element) {
    ++p_;
    const std::string_view name = ReadName();
    if (name.empty()) return nullptr;
    auto element = std::make_unique<Node>();
    element->name = name;
    for (;;) {
      SkipSpace();
      if (p_ >= s_.size()) return nullptr;
      if (s_[p_] == '>') {
        ++p_;
        empty_element = false;
        return element;
      }
      if (At("/>")) {
        p_ += 2;
        empty_element = true;
        return element;
      }
      // Attributes need not be separated by white space.
      const std::string_view attribute = ReadName();
      if (attribute.empty()) return nullptr;
      SkipSpace();
      if (p_ >= s_.size() || s_[p_] != '=') return nullptr;
      ++p_;
      SkipSpace();
      if (p_ >= s_.size() || (s_[p_] != '"' && s_[p_] != '\'')) return nullptr;
      const std::size_t end = s_.find(s_[p_], p_ + 1);
      if (end == std::string_view::npos) return nullptr;
      const std::string_view value = s_.substr(p_ + 1, end - p_ - 1);
      if (value.find('<') != std::string_view::npos) return nullptr;
      element->attributes.emplace_back(std::string(attribute), DecodeReferences(value));
      p_ = end + 1;
    }
  }

  std::string_view s_;
  std::size_t p_ = 0;
};

}  // namespace

Node::~Node() {
  // Detach all descendants into a flat list first, so each node is destroyed with
  // no children left and the destructor never nests.
  std::vector<std::unique_ptr<Node>> pending = std::move(children);
  while (!pending.empty()) {
    std::unique_ptr<Node> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->children) pending.push_back(std::move(child));
    node->children.clear();
  }
}

std::string Node::Text() const {
  if (!IsElement()) return ElementText(raw_text);
  for (const auto& child : children) {
    if (!child->IsElement()) return ElementText(child->raw_text);
  }
  return {};
}

const Node* Node::FindChildElement(std::string_view wanted) const {
  for (const auto& child : children) {
    if (child->IsElement() && SameNameIgnoringCase(child->name, wanted)) return child.get();
  }
  return nullptr;
}

Document Document::Parse(std::string_view bytes) {
  Document document;
  if (bytes.find('\r') == std::string_view::npos) {
    document.root_ = Reader(bytes).Read();
  } else {
    const std::string normalised = NormaliseLineBreaks(bytes);
    document.root_ = Reader(normalised).Read();
  }
  return document;
}

std::string ElementText(std::string_view normalised_run) {
  std::size_t begin = 0;
  std::size_t end = normalised_run.size();
  while (begin < end && IsBlank(normalised_run[begin])) ++begin;
  while (end > begin && IsBlank(normalised_run[end - 1])) --end;
  const std::string_view run = normalised_run.substr(begin, end - begin);
  if (run.find('\n') == std::string_view::npos) return DecodeReferences(run);
  std::string crlf;
  crlf.reserve(run.size() + run.size() / 8);
  for (const char c : run) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return DecodeReferences(crlf);
}

std::string DecodeReferences(std::string_view s) {
  std::size_t i = s.find('&');
  if (i == std::string_view::npos) return std::string(s);
  std::string out;
  out.reserve(s.size());
  out.append(s.substr(0, i));
  std::size_t semicolon = 0;  // the first ";" after i, kept while it stays ahead
  while (i < s.size()) {
    if (s[i] != '&') {
      std::size_t next = s.find('&', i);
      if (next == std::string_view::npos) next = s.size();
      out.append(s.substr(i, next - i));
      i = next;
      continue;
    }
    if (semicolon <= i) semicolon = s.find(';', i + 1);
    if (semicolon == std::string_view::npos) {
      out.append(s.substr(i));  // no ";" follows: nothing after this can be a reference
      break;
    }
    const std::string_view body = s.substr(i + 1, semicolon - i - 1);
    bool plain = true;
    for (const char c : body) {
      if (c == '&' || c == '<' || IsSpace(c)) {
        plain = false;
        break;
      }
    }
    if (!plain) {
      out += '&';
      ++i;
      continue;
    }
    if (!DecodeReference(body, out)) out.append(s.substr(i, semicolon + 1 - i));
    i = semicolon + 1;
  }
  return out;
}

}  // namespace qm::xml
