#include "mailparser/MIMEEntity.h"

#include <utility>

namespace MailParser {

MIMEEntity::MIMEEntity(MIMEEntityHeader entityHeader) : header(std::move(entityHeader)) {}

MIMEEntity::~MIMEEntity() = default;

}  // namespace MailParser
