// Reads back the one-line JSON objects qmss writes (its own events, from the
// worker processes of a download to several ports): the top-level fields,
// a string unescaped, any other value (number, true, null, array, object) as
// its JSON text.
#pragma once

#include <map>
#include <string>

// False when the line is no JSON object of that shape.
bool ReadJsonFields(const std::string& line, std::map<std::string, std::string>& fields);
