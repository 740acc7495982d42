#include "tools/twgstore/reg_export.h"

#include <cstdio>

namespace twg {
namespace {

constexpr char kHeader4[] = "REGEDIT4";
constexpr char kHeader5[] = "Windows Registry Editor Version 5.00";
constexpr std::uint32_t kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7;

std::u16string Ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view TrimRight(std::u16string_view s) {
  while (!s.empty() && (IsSpace(s.back()) || s.back() == u'\r')) s.remove_suffix(1);
  return s;
}
std::u16string_view TrimLeft(std::u16string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  return s;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

class Parser {
 public:
  Parser(const CodePage& code_page, RegExport* out, ParseError* error)
      : code_page_(code_page), out_(out), error_(error) {}

  bool Run(std::string_view file) {
    std::u16string text;
    if (!Decode(file, &text)) return false;
    SplitLines(text);
    std::size_t i = 0;
    while (i < lines_.size() && TrimRight(lines_[i]).empty()) ++i;
    if (i == lines_.size()) return Fail(1, "empty file: no registry editor header");
    std::u16string_view header = TrimRight(lines_[i]);
    if (header == Ascii(kHeader4)) {
      out_->format = RegExportFormat::kRegedit4;
    } else if (header == Ascii(kHeader5)) {
      out_->format = RegExportFormat::kVersion5;
    } else if (file.substr(0, 3) == "\xEF\xBB\xBF") {
      return Fail(1, "not a registry export as the registry editor writes it: a UTF-8 file (it begins with the "
                     "byte-order mark EF BB BF); save it as ANSI (REGEDIT4) or as Unicode, UTF-16LE (version 5.00)");
    } else if (file.substr(0, 2) == "\xFE\xFF") {
      return Fail(1, "not a registry export as the registry editor writes it: a big-endian UTF-16 file (it begins "
                     "with FE FF); save it as Unicode, UTF-16LE");
    } else {
      return Fail(static_cast<int>(i) + 1, "not a registry export: the first line is neither \"REGEDIT4\" "
                                           "nor \"Windows Registry Editor Version 5.00\"");
    }
    if (utf16_ != (out_->format == RegExportFormat::kVersion5)) {
      return Fail(1, utf16_ ? "a REGEDIT4 header in a UTF-16 file" : "a version 5.00 header in an 8-bit file");
    }
    for (++i; i < lines_.size(); ++i) {
      std::u16string_view line = TrimRight(lines_[i]);
      int number = static_cast<int>(i) + 1;
      std::u16string_view content = TrimLeft(line);
      if (content.empty() || content[0] == u';') continue;
      bool ok = content[0] == u'[' ? ParseKey(content, number)
                : (content[0] == u'"' || content[0] == u'@') ? ParseValue(content, number, &i)
                                                              : Fail(number, "unexpected line: neither a key nor a value");
      if (!ok) return false;
    }
    return true;
  }

 private:
  bool Fail(int line, std::string message) {
    error_->line = line;
    error_->message = std::move(message);
    return false;
  }

  bool Decode(std::string_view file, std::u16string* text) {
    utf16_ = file.size() >= 2 && static_cast<unsigned char>(file[0]) == 0xFF &&
             static_cast<unsigned char>(file[1]) == 0xFE;
    if (!utf16_) {
      *text = code_page_.ToUtf16(file);
      return true;
    }
    if (file.size() % 2 != 0) return Fail(0, "truncated UTF-16 file: odd number of bytes");
    text->reserve(file.size() / 2);
    for (std::size_t i = 2; i + 1 < file.size(); i += 2) {
      text->push_back(static_cast<char16_t>(static_cast<unsigned char>(file[i]) |
                                            static_cast<unsigned char>(file[i + 1]) << 8));
    }
    return true;
  }

  void SplitLines(std::u16string_view text) {
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find(u'\n', start);
      if (end == std::u16string_view::npos) end = text.size();
      lines_.push_back(text.substr(start, end - start));
      start = end + 1;
    }
  }

  // In a REGEDIT4 file the code units are the ANSI bytes: a lead byte takes the next byte with it.
  bool IsLeadByte(char16_t c) const {
    return out_->format == RegExportFormat::kRegedit4 && c <= 0xFF && code_page_.lead().IsLead(static_cast<char>(c));
  }

  bool ToAnsi(std::u16string_view wide, std::string* ansi, int line) {
    if (code_page_.FromUtf16(wide, ansi)) return true;
    return Fail(line, "a character with no form in the ANSI code page");
  }

  bool ParseKey(std::u16string_view content, int line) {
    if (content.back() != u']') return Fail(line, "key line without its closing \"]\"");
    RegExportKey key;
    key.line = line;
    std::u16string_view path = content.substr(1, content.size() - 2);
    if (!path.empty() && path[0] == u'-') {
      key.remove = true;
      path.remove_prefix(1);
    }
    if (path.empty()) return Fail(line, "key line with an empty path");
    if (!ToAnsi(path, &key.path, line)) return false;
    out_->keys.push_back(std::move(key));
    return true;
  }

  // A quoted string from s[0] == '"'; s is left after the closing quote.
  bool QuotedString(std::u16string_view* s, std::u16string* out, int line) {
    std::size_t i = 1;
    for (; i < s->size() && (*s)[i] != u'"'; ++i) {
      char16_t c = (*s)[i];
      if (IsLeadByte(c) && i + 1 < s->size()) {
        out->push_back(c);
        out->push_back((*s)[++i]);
      } else if (c == u'\\' && i + 1 < s->size()) {
        char16_t next = (*s)[++i];
        if (next == u'\\' || next == u'"') out->push_back(next);
        else if (next == u'n') out->push_back(u'\n');
        else if (next == u'r') out->push_back(u'\r');
        else if (next == u'0') out->push_back(u'\0');
        else {
          // Not an escape: the backslash stands for itself and what follows is read as it would be
          // anywhere else, so a lead byte there takes its trail byte as the writer expects.
          out->push_back(c);
          --i;
        }
      } else {
        out->push_back(c);
      }
    }
    if (i >= s->size()) return Fail(line, "string without its closing quotation mark");
    s->remove_prefix(i + 1);
    return true;
  }

  bool ParseValue(std::u16string_view content, int line, std::size_t* index) {
    if (out_->keys.empty()) return Fail(line, "value before the first key");
    RegExportValue value;
    value.line = line;
    std::u16string_view rest = content;
    if (rest[0] == u'@') {
      value.is_default = true;
      rest.remove_prefix(1);
    } else {
      std::u16string name;
      if (!QuotedString(&rest, &name, line) || !ToAnsi(name, &value.name, line)) return false;
    }
    rest = TrimLeft(rest);
    if (rest.empty() || rest[0] != u'=') return Fail(line, "value without \"=\"");
    rest = TrimLeft(rest.substr(1));
    if (rest == u"-") {
      value.remove = true;
    } else if (!rest.empty() && rest[0] == u'"') {
      std::u16string text;
      if (!QuotedString(&rest, &text, line)) return false;
      if (!TrimLeft(rest).empty()) return Fail(line, "text after the closing quotation mark");
      value.type = kRegSz;
      if (!ToAnsi(text, &value.data, line)) return false;
      value.data.push_back('\0');
    } else if (rest.substr(0, 6) == u"dword:") {
      if (!Dword(rest.substr(6), &value.data)) return Fail(line, "malformed dword value");
      value.type = kRegDword;
    } else if (rest.substr(0, 3) == u"hex") {
      std::u16string joined(rest);
      while (!joined.empty() && joined.back() == u'\\') {
        joined.pop_back();
        std::u16string_view next = ++*index < lines_.size() ? TrimLeft(TrimRight(lines_[*index])) : u"";
        if (next.empty()) return Fail(line, "truncated: continued hex data ends at an empty line or the end of the file");
        joined += next;
      }
      if (!Hex(joined, &value, line)) return false;
    } else {
      return Fail(line, "unknown value data: expected a string, dword:, hex: or hex(n):");
    }
    out_->keys.back().values.push_back(std::move(value));
    return true;
  }

  static bool Dword(std::u16string_view digits, std::string* data) {
    if (digits.empty() || digits.size() > 8) return false;
    std::uint32_t v = 0;
    for (char16_t c : digits) {
      int d = HexDigit(c);
      if (d < 0) return false;
      v = v << 4 | static_cast<std::uint32_t>(d);
    }
    for (int i = 0; i < 4; ++i) data->push_back(static_cast<char>(v >> (8 * i) & 0xFF));
    return true;
  }

  bool Hex(std::u16string_view text, RegExportValue* value, int line) {
    text.remove_prefix(3);
    value->type = kRegBinary;
    if (!text.empty() && text[0] == u'(') {
      std::size_t close = text.find(u')');
      if (close == std::u16string_view::npos || close == 1 || close > 9) return Fail(line, "malformed hex(n) type");
      std::uint32_t type = 0;
      for (char16_t c : text.substr(1, close - 1)) {
        int d = HexDigit(c);
        if (d < 0) return Fail(line, "malformed hex(n) type");
        type = type << 4 | static_cast<std::uint32_t>(d);
      }
      value->type = type;
      text.remove_prefix(close + 1);
    }
    if (text.empty() || text[0] != u':') return Fail(line, "hex data without \":\"");
    text.remove_prefix(1);
    std::string bytes;
    while (!text.empty()) {
      text = TrimLeft(text);
      if (text.size() < 2) return Fail(line, "malformed hex byte");
      int hi = HexDigit(text[0]), lo = HexDigit(text[1]);
      if (hi < 0 || lo < 0) return Fail(line, "malformed hex byte");
      bytes.push_back(static_cast<char>(hi << 4 | lo));
      text = TrimLeft(text.substr(2));
      if (text.empty()) break;
      if (text[0] != u',') return Fail(line, "hex bytes must be separated by commas");
      text.remove_prefix(1);
    }
    if (IsStringType(value->type) && out_->format == RegExportFormat::kVersion5) {
      if (bytes.size() % 2 != 0) return Fail(line, "string data of odd length in a UTF-16 export");
      std::u16string wide;
      for (std::size_t i = 0; i < bytes.size(); i += 2) {
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8));
      }
      return ToAnsi(wide, &value->data, line);
    }
    value->data = std::move(bytes);
    return true;
  }

  const CodePage& code_page_;
  RegExport* out_;
  ParseError* error_;
  bool utf16_ = false;
  std::vector<std::u16string_view> lines_;
};

// --- Writing -----------------------------------------------------------------------------------

class Writer {
 public:
  Writer(const CodePage& code_page, RegExportFormat format) : code_page_(code_page), format_(format) {}

  bool Run(const RegExport& in, std::string* file) {
    Line(Ascii(format_ == RegExportFormat::kVersion5 ? kHeader5 : kHeader4));
    Line(u"");
    for (const auto& key : in.keys) {
      // A key line has no escapes: a line break in a path cannot be written.
      if (key.path.find('\n') != std::string::npos) return false;
      std::u16string line = u"[";
      if (key.remove) line += u'-';
      line += code_page_.ToUtf16(key.path) + u"]";
      Line(line);
      for (const auto& value : key.values) {
        if (!Value(value)) return false;
      }
      Line(u"");
    }
    *file = std::move(out_);
    return true;
  }

 private:
  void Line(std::u16string_view text) {
    if (format_ == RegExportFormat::kVersion5) {
      if (out_.empty()) out_ += "\xFF\xFE";
      for (char16_t c : text) {
        out_.push_back(static_cast<char>(c & 0xFF));
        out_.push_back(static_cast<char>(c >> 8));
      }
      out_ += std::string("\r\0\n\0", 4);
    } else {
      std::string ansi;
      code_page_.FromUtf16(text, &ansi);
      out_ += ansi + "\r\n";
    }
  }

  bool IsLead(char16_t c) const {
    return format_ == RegExportFormat::kRegedit4 && c <= 0xFF && code_page_.lead().IsLead(static_cast<char>(c));
  }

  // The quoted form, which the reader takes back byte for byte; false when there is none. In a REGEDIT4
  // file of a double-byte code page the byte after a lead byte is read raw, so a lead byte cannot stand
  // last (it would swallow the closing quotation mark) nor before a line break.
  bool Quote(std::u16string_view text, std::u16string* out) const {
    *out = u"\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
      char16_t c = text[i];
      if (IsLead(c)) {
        if (i + 1 == text.size() || text[i + 1] == u'\n') return false;
        *out += c;
        *out += text[++i];
        continue;
      }
      if (c == u'\\' || c == u'"') *out += u'\\';
      if (c == u'\n') {
        *out += u"\\n";
        continue;
      }
      *out += c;
    }
    *out += u'"';
    return true;
  }

  // A REG_SZ that the quoted form carries exactly: one terminating NUL and no line breaks.
  bool PlainString(const std::string& data, std::u16string* quoted) const {
    if (data.empty() || data.back() != '\0') return false;
    for (std::size_t i = 0; i + 1 < data.size(); ++i) {
      if (data[i] == '\0' || data[i] == '\r' || data[i] == '\n') return false;
    }
    return Quote(code_page_.ToUtf16(std::string_view(data).substr(0, data.size() - 1)), quoted);
  }

  bool Value(const RegExportValue& value) {
    std::u16string line = u"@";
    if (!value.is_default && !Quote(code_page_.ToUtf16(value.name), &line)) return false;
    line += u'=';
    if (value.remove) {
      Line(line + u"-");
      return true;
    }
    std::u16string quoted;
    if (value.type == kRegSz && PlainString(value.data, &quoted)) {
      Line(line + quoted);
      return true;
    }
    if (value.type == kRegDword && value.data.size() == 4) {
      std::uint32_t v = 0;
      for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(value.data[i]);
      char digits[16];
      std::snprintf(digits, sizeof digits, "dword:%08x", v);
      Line(line + Ascii(digits));
      return true;
    }
    std::string bytes = value.data;
    if (IsStringType(value.type) && format_ == RegExportFormat::kVersion5) {
      std::u16string wide = code_page_.ToUtf16(value.data);
      bytes.clear();
      for (char16_t c : wide) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
      }
    }
    char type[16];
    if (value.type == kRegBinary) std::snprintf(type, sizeof type, "hex:");
    else std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
    line += Ascii(type);
    // Wrapped like the registry editor: continued lines end with a backslash and start with two spaces.
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      char digits[4];
      std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(bytes[i]));
      line += Ascii(digits);
      if (i + 1 < bytes.size()) {
        line += u',';
        if (line.size() >= 76) {
          Line(line + u"\\");
          line = u"  ";
        }
      }
    }
    Line(line);
    return true;
  }

  const CodePage& code_page_;
  RegExportFormat format_;
  std::string out_;
};

}  // namespace

std::u16string CodePage::ToUtf16(std::string_view ansi) const {
  std::u16string out;
  out.reserve(ansi.size());
  for (char c : ansi) out.push_back(static_cast<unsigned char>(c));
  return out;
}

bool CodePage::FromUtf16(std::u16string_view wide, std::string* ansi) const {
  ansi->clear();
  for (char16_t c : wide) {
    if (c > 0xFF) return false;
    ansi->push_back(static_cast<char>(c));
  }
  return true;
}

bool CodePageLeadBytes(int code_page, LeadBytes* lead) {
  *lead = LeadBytes();
  switch (code_page) {
    case 932: *lead = LeadBytes{{0x81, 0x9F}, {0xE0, 0xFC}}; return true;
    case 936: case 949: case 950: *lead = LeadBytes{{0x81, 0xFE}}; return true;
    case 874: return true;
    default: return code_page >= 1250 && code_page <= 1258;
  }
}

bool IsStringType(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

bool ParseRegExport(std::string_view file, const CodePage& code_page, RegExport* out, ParseError* error) {
  *out = RegExport();
  return Parser(code_page, out, error).Run(file);
}

bool WriteRegExport(const RegExport& in, const CodePage& code_page, std::string* file) {
  return Writer(code_page, in.format).Run(in, file);
}

}  // namespace twg
