#pragma once

#include "mailparser/Header.h"

namespace MailParser {

// The top-level header of a message, as the message parser reads it. It is a Header of its
// own type so that the code deciding how to treat a message states which header it reads.
class MessageHeader : public Header {
 public:
  using Header::Header;
};

}  // namespace MailParser
