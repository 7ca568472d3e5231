#pragma once

#include <string_view>

#include "mailparser/MIMEEntityHeader.h"

namespace MailParser {

// One MIME entity that receives its body line by line (lines without their line break) and
// writes its output while it is fed. The caller gives the lines in order, then calls end()
// once.
class MIMEEntity {
 public:
  // `header` is the entity's own, already initialised header.
  explicit MIMEEntity(MIMEEntityHeader entityHeader);
  MIMEEntity(const MIMEEntity&) = delete;
  MIMEEntity& operator=(const MIMEEntity&) = delete;
  virtual ~MIMEEntity();

  virtual void processLine(std::string_view line) = 0;
  virtual void end() = 0;

  MIMEEntityHeader header;
};

}  // namespace MailParser
