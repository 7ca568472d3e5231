#pragma once

// The generated entity tables (HTMLEntityTables.cpp, made by
// scripts/make_html_entity_tables.py). Only HTMLCharacterEntities reads them.

namespace HTMLFilter {

struct HTMLEntity {
  char16_t code;
  const char* name;
};

// The 252 character entities of HTML 4.01 and three old aliases; the names encode uses.
extern const HTMLEntity _HTMLEntities[255];

// The HTML5 named character references, sorted by name in byte order. A name ends with ";"
// unless it is one of the old names that browsers also accept without it. A reference
// stands for one or two code points; second is 0 for one.
struct HTML5Entity {
  const char* name;
  char32_t first;
  char32_t second;
};

extern const HTML5Entity _HTML5Entities[2231];

}  // namespace HTMLFilter
