#pragma once

#include <string>
#include <vector>

namespace MailParser {

// One row of the attachment policy as the engine sees it: what happens to attachments of a
// MIME type or with one of the file extensions.
struct AttachmentTypeRule {
  enum Action : int { allow = 0, rename = 1, block = 2, seeHTML = 3 };

  // One of the four actions as stored; seeHTML hands the decision to the HTML options.
  int action = allow;
  std::string mediaType;
  std::string subType;
  // Without leading dots, in the order of the policy.
  std::vector<std::string> extensions;
};

}  // namespace MailParser
