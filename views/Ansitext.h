// Text of files, devices and the model is single-byte text: shown as UTF-8
// when it is valid UTF-8, otherwise as Latin-1, so that no byte is lost to a
// replacement character.
#pragma once

#include <QString>
#include <string>

QString AnsiToQString(const std::string& text);
