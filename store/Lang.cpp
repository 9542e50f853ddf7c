#include "store/Lang.h"

std::atomic<uint8_t> g_languageFlag{1};
std::atomic<uint8_t> g_themeFlag{1};
