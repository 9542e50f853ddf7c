// Sets the language flag for one scope and puts the default back.
#pragma once

#include "store/Lang.h"

struct ScopedLanguage {
    explicit ScopedLanguage(bool vietnamese) { SetVietnamese(vietnamese); }
    ~ScopedLanguage() { SetVietnamese(true); }
};
