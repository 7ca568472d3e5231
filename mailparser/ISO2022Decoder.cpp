#include "mailparser/ISO2022Decoder.h"

namespace MailParser {

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr unsigned char kESC = 0x1B;
constexpr unsigned char kSO = 0x0E;
constexpr unsigned char kSI = 0x0F;
constexpr unsigned char kSS2 = 0x8E;
constexpr unsigned char kSS3 = 0x8F;

const CharacterSetEntry kUnusable{"unusable", kG0, nullptr, CharacterSetKind::Unusable};

const CharacterSetEntry* registered(std::uint32_t key) {
  const CharacterSetEntry* entry = findCharacterSet(key);
  return entry != nullptr ? entry : &kUnusable;
}

// The register that an unknown designation names by its first intermediate byte.
int registerOfIntermediate(std::uint8_t intermediate) {
  switch (intermediate) {
    case '(': case ',': case '$': return kG0;
    case ')': case '-': return kG1;
    case '*': case '.': return kG2;
    case '+': case '/': return kG3;
    case '!': return kC0;
    case '"': return kC1;
    default: return -1;
  }
}

}  // namespace

ISO2022Decoder::ISO2022Decoder(Mode mode)
    : mode_(mode),
      escapesHonoured_(mode == Mode::ISO2022JP || mode == Mode::EUCKR),
      singleShift2_(mode == Mode::EUCJP || mode == Mode::ISO2022JP),
      singleShift3_(mode == Mode::EUCJP || mode == Mode::ISO2022JP) {
  registers_.fill(&kUnusable);
  registers_[kG0] = registered(0x284200);
  registers_[kC0] = registered(0x214600);
  registers_[kC1] = registered(kTransparentC1Key);
  switch (mode) {
    case Mode::ShiftJIS:
      registers_[kG1] = registered(0x294900);
      registers_[kC1] = registered(kShiftJISSetKey);
      break;
    case Mode::ISO2022JP:
      registers_[kG1] = registered(0x294900);
      break;
    case Mode::EUCJP:
      registers_[kG1] = registered(0x242940);
      registers_[kG2] = registered(0x2A4900);
      registers_[kG3] = registered(0x242B44);
      break;
    case Mode::EUCKR:
      registers_[kG1] = registered(0x242943);
      break;
  }
}

std::u16string ISO2022Decoder::decodeWithMode(std::string_view bytes, const void* mode) {
  return ISO2022Decoder(*static_cast<const Mode*>(mode)).decode(bytes);
}

std::u16string ISO2022Decoder::decode(std::string_view bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  out_.clear();
  out_.reserve(size);
  std::size_t i = 0;
  while (i < size) {
    const unsigned char byte = data[i];
    if (byte == 0x20 || byte == 0x7F) {
      out_.push_back(byte);
      ++i;
      continue;
    }
    if (escapesHonoured_) {
      if (byte == kESC && i + 1 < size && data[i + 1] >= 0x20 && data[i + 1] <= 0x7E) {
        i = escape(data, size, i + 1);
        continue;
      }
      if (byte == kSI || byte == kSO) {
        leftShift_ = byte == kSI ? kG0 : kG1;
        ++i;
        continue;
      }
    }
    if ((byte == kSS2 && singleShift2_) || (byte == kSS3 && singleShift3_)) {
      singleShift_ = byte == kSS2 ? kG2 : kG3;
      ++i;
      continue;
    }
    const CharacterSetEntry* single = singleShift_ >= 0 ? registers_[static_cast<std::size_t>(singleShift_)] : nullptr;
    singleShift_ = -1;
    if (byte < 0x20) {
      i = decodeWith(registers_[kC0], data, size, i, 0x00);
    } else if (byte < 0x80) {
      i = decodeWith(single != nullptr ? single : registers_[leftShift_], data, size, i, 0x21);
    } else if (byte < 0xA0 && single == nullptr) {
      i = decodeWith(registers_[kC1], data, size, i, 0x80);
    } else if (single == nullptr && mode_ == Mode::ShiftJIS && registers_[kC1]->kind == CharacterSetKind::ShiftJIS) {
      i = decodeShiftJIS(*registers_[kC1], data, size, i);
    } else {
      i = decodeWith(single != nullptr ? single : registers_[rightShift_], data, size, i, 0xA1);
    }
  }
  return std::move(out_);
}

std::size_t ISO2022Decoder::escape(const unsigned char* data, std::size_t size, std::size_t i) {
  switch (data[i]) {
    case 'n': leftShift_ = kG2; return i + 1;
    case 'o': leftShift_ = kG3; return i + 1;
    case 'N': singleShift_ = kG2; return i + 1;
    case 'O': singleShift_ = kG3; return i + 1;
    case '|': rightShift_ = kG3; return i + 1;
    case '}': rightShift_ = kG2; return i + 1;
    case '~': rightShift_ = kG1; return i + 1;
    default: break;
  }
  const std::size_t start = i;
  std::uint32_t key = 0;
  int length = 0;
  while (i < size && data[i] >= 0x20 && data[i] <= 0x2F) {
    key = key << 8 | data[i++];
    ++length;
  }
  if (i >= size || data[i] < 0x30 || data[i] > 0x7E || length > 2) {
    // Not a sequence this engine can read: drop what was read of it.
    out_.push_back(kReplacement);
    return i;
  }
  key = key << 8 | data[i++];
  ++length;
  if (length == 2) {
    key <<= 8;
  }
  designate(key, length > 1 ? data[start] : 0);
  return i;
}

void ISO2022Decoder::designate(std::uint32_t key, std::uint8_t firstIntermediate) {
  if (const CharacterSetEntry* entry = findCharacterSet(key)) {
    registers_[entry->targetRegister] = entry;
    return;
  }
  // "$" is followed by the intermediate that names the register, if any.
  std::uint8_t intermediate = firstIntermediate;
  if (intermediate == '$' && (key & 0xFF) != 0) {
    intermediate = static_cast<std::uint8_t>(key >> 8);
  }
  const int reg = registerOfIntermediate(intermediate);
  if (reg >= 0) {
    registers_[static_cast<std::size_t>(reg)] = &kUnusable;
  }
}

std::size_t ISO2022Decoder::decodeWith(const CharacterSetEntry* set, const unsigned char* data, std::size_t size,
                                       std::size_t i, unsigned char base) {
  const unsigned char byte = data[i];
  switch (set->kind) {
    case CharacterSetKind::Set94: {
      const int index = byte - base;
      out_.push_back(index >= 0 && index < 94 ? set->table[index] : kReplacement);
      return i + 1;
    }
    case CharacterSetKind::ByteIndexed:
      out_.push_back(set->table[byte]);
      return i + 1;
    case CharacterSetKind::ControlCodes: {
      const int index = byte - base;
      out_.push_back(index >= 0 && index < 32 ? set->table[index] : kReplacement);
      return i + 1;
    }
    case CharacterSetKind::Set94x94: {
      const auto inHalf = [base](unsigned char b) { return b >= base && b < base + 94; };
      if (!inHalf(byte)) {
        out_.push_back(kReplacement);
        return i + 1;
      }
      if (i + 1 >= size || !inHalf(data[i + 1])) {
        // A cut-off pair: the byte that is not its second half is decoded afresh.
        out_.push_back(kReplacement);
        return i + 1;
      }
      const auto lead = static_cast<std::uint8_t>(((byte - base) + 0x21) | set->tableHighBits);
      const auto trail = static_cast<std::uint8_t>(((data[i + 1] - base) + 0x21) | set->tableHighBits);
      out_.push_back(set->doubleByteTable->lookup(lead, trail));
      return i + 2;
    }
    case CharacterSetKind::ShiftJIS:
      return decodeShiftJIS(*set, data, size, i);
    case CharacterSetKind::Unusable:
      break;
  }
  out_.push_back(kReplacement);
  return i + 1;
}

std::size_t ISO2022Decoder::decodeShiftJIS(const CharacterSetEntry& set, const unsigned char* data, std::size_t size,
                                           std::size_t i) {
  const unsigned char lead = data[i];
  if (lead >= 0xA1 && lead <= 0xDF) {
    out_.push_back(static_cast<char16_t>(0xFF61 + (lead - 0xA1)));
    return i + 1;
  }
  const bool isLead = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
  if (!isLead || i + 1 >= size) {
    out_.push_back(kReplacement);
    return i + 1;
  }
  const unsigned char trail = data[i + 1];
  if (trail < 0x40 || trail == 0x7F || trail > 0xFC) {
    out_.push_back(kReplacement);
    return trail < 0x80 ? i + 1 : i + 2;
  }
  int row = (lead - (lead <= 0x9F ? 0x81 : 0xC1)) * 2 + 1;
  int cell;
  if (trail >= 0x9F) {
    ++row;
    cell = trail - 0x9E;
  } else {
    cell = trail - (trail <= 0x7E ? 0x3F : 0x40);
  }
  const char16_t unit = set.doubleByteTable->lookup(static_cast<std::uint8_t>(0x20 + row),
                                                    static_cast<std::uint8_t>(0x20 + cell));
  out_.push_back(unit);
  return unit == kReplacement && trail < 0x80 ? i + 1 : i + 2;
}

}  // namespace MailParser
