#include "html/FilterDocument.h"

#include "html/HTMLFilter.h"
#include "html/HTMLParser.h"
#include "html/HTMLRewriter.h"

namespace HTMLFilter {

// The rewriter's output is taken only once the parse has come to its end: an error thrown
// from inside it leaves a half-written document, which goes with the rewriter.
std::string filterDocument(std::u16string_view html, MailParser::IMessageProcessorInterface& settings,
                           bool fragment, bool addFooter) {
  HTMLRewriter rewriter;
  rewriter.reserve(html.size() * 2);
  HTMLFilter filter(rewriter, settings, addFooter);
  parseHTML(filter, html, fragment);
  return rewriter.takeOutput();
}

}  // namespace HTMLFilter
