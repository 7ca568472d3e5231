#include "mailparser/HeaderField.h"

#include <stdexcept>
#include <utility>

namespace MailParser {

namespace {

void refuseIfInHeader(const HeaderField& target) {
  if (target.inHeader) {
    throw std::runtime_error("cannot assign to header fields once they are in a header");
  }
}

}  // namespace

HeaderField::HeaderField(std::string fieldName, std::string fieldValue)
    : name(std::move(fieldName)), value(std::move(fieldValue)) {}

HeaderField::HeaderField(const HeaderField& other) : name(other.name), value(other.value) {}

// A field that sits in a header keeps its name and value: emptying it would leave the header's
// index pointing at a nameless field.
HeaderField::HeaderField(HeaderField&& other)  // NOLINT(performance-noexcept-move-constructor)
    : name(other.inHeader ? other.name : std::move(other.name)),
      value(other.inHeader ? other.value : std::move(other.value)) {}

HeaderField& HeaderField::operator=(const HeaderField& other) {
  refuseIfInHeader(*this);
  name = other.name;
  value = other.value;
  return *this;
}

// NOLINTNEXTLINE(performance-noexcept-move-constructor,bugprone-exception-escape): it throws by design
HeaderField& HeaderField::operator=(HeaderField&& other) {
  refuseIfInHeader(*this);
  name = std::move(other.name);
  value = std::move(other.value);
  return *this;
}

}  // namespace MailParser
