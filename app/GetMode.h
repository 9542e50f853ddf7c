// The unattended mode: "tidewell.exe --get [options] LINK..." downloads the
// links one after another through the engine's job and ends with an exit
// code (GetTexts.h). Nothing visible, no question, no single-instance lock,
// no hand-over, no browser registration, no list file; the settings file is
// read, never written.
#pragma once

#include <string>
#include <vector>

int RunGetMode(const std::vector<std::wstring>& args);
