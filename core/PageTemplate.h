#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Charset.h"

// Page templates: texts with tags "{#name#}" (white space allowed inside the
// braces, the name in any case) that are replaced by values, and blocks
// "{#name#} begin ... end;" whose bodies are cut out and filled per item.

// Tag name and value pairs for FillTemplate.
using TemplateValues = std::vector<std::pair<std::string_view, AnsiString>>;

// Fills every tag named in values in one pass over the text. A value is never
// searched again, so a value that holds "{#Content#}" or the name of a later tag
// comes out as it is and filling cannot loop. Tags that values does not name
// keep their text (block definitions among them).
AnsiString FillTemplate(std::string_view text, const TemplateValues& values);

// The body of block `name`: the text between "begin" and the first "end;" after
// it. trimmed drops the white space next to "begin" and "end;" (the page
// writer's form); untrimmed keeps it (the text export's form). Empty when the
// block is missing.
std::string CutTemplateBlock(std::string_view text, std::string_view name, bool trimmed);

// The named template of the template bundle as one text, its lines joined with
// CR LF; empty when the bundle or the template is missing.
std::string LoadTemplateText(std::string_view name);
