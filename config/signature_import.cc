#include "config/signature_import.h"

#include <cstring>

#include "config/ascii_text.h"

namespace twg {
namespace {

std::uint32_t PriorityOf(const char* word) {
  static const char* const kWords[] = {"low", "medium", "high"};
  for (std::uint32_t i = 0; i < 3; ++i) {
    if (EqualsIgnoringAsciiCase(word, kWords[i])) return i + 1;
  }
  return 0;
}

bool IsSeparator(char c) { return c == ':' || c == '\n'; }

// Like strtok over ":\n" but reentrant: empty fields are never returned, which is what shifts the
// fields behind an empty one.
char* NextField(char** cursor) {
  char* p = *cursor;
  while (*p != '\0' && IsSeparator(*p)) ++p;
  if (*p == '\0') {
    *cursor = p;
    return nullptr;
  }
  char* start = p;
  while (*p != '\0' && !IsSeparator(*p)) ++p;
  if (*p != '\0') *p++ = '\0';
  *cursor = p;
  return start;
}

}  // namespace

std::int32_t ReadDecimal(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  std::uint32_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) value = value * 10u + static_cast<std::uint32_t>(*text - '0');
  return static_cast<std::int32_t>(negative ? 0u - value : value);
}

RecordVerdict ParseSignatureLine(char* line, SignatureRecord* record) {
  *record = SignatureRecord{};
  bool ours = true;
  int count = 0;
  char* cursor = line;
  for (char* field = NextField(&cursor); field != nullptr; field = NextField(&cursor), ++count) {
    switch (count) {
      case 0:
        record->id = ReadDecimal(field);
        break;
      case 1:
        if (std::strlen(field) >= sizeof record->name) return RecordVerdict::kStop;
        std::strcpy(record->name, field);
        break;
      case 4:
        record->priority = PriorityOf(field);
        if (record->priority == 0) return RecordVerdict::kStop;
        break;
      case 7:
        ours = std::strstr(field, "TWG") != nullptr;
        break;
      default:
        break;
    }
  }
  return ours && count == 8 ? RecordVerdict::kTake : RecordVerdict::kSkip;
}

bool ImportSignatures(std::FILE* file, const std::function<bool(const SignatureRecord&)>& write) {
  char line[kSignatureReadChars + 1] = {};
  if (std::fgets(line, sizeof line, file) == nullptr) return false;  // the header, never parsed
  SignatureRecord record;
  while (std::fgets(line, sizeof line, file) != nullptr) {
    switch (ParseSignatureLine(line, &record)) {
      case RecordVerdict::kStop:
        return false;
      case RecordVerdict::kTake:
        if (!write(record)) return false;
        break;
      case RecordVerdict::kSkip:
        break;
    }
    std::memset(line, 0, sizeof line);
  }
  return true;
}

}  // namespace twg
