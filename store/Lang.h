// The process-wide language and theme flags and the one chooser every
// bilingual text goes through. The UI thread switches the flags while engine
// threads build error texts, so both are atomics; relaxed order is enough
// because each reader only needs some recent value, not ordering with other data.
#pragma once

#include <atomic>
#include <cstdint>

// Non-zero: Vietnamese (the default). Zero: English.
extern std::atomic<uint8_t> g_languageFlag;
// Non-zero: dark (the default). Zero: light.
extern std::atomic<uint8_t> g_themeFlag;

inline bool IsVietnamese() noexcept { return g_languageFlag.load(std::memory_order_relaxed) != 0; }
inline bool IsDarkTheme() noexcept { return g_themeFlag.load(std::memory_order_relaxed) != 0; }
inline void SetVietnamese(bool vi) noexcept { g_languageFlag.store(vi ? 1 : 0, std::memory_order_relaxed); }
inline void SetDarkTheme(bool dark) noexcept { g_themeFlag.store(dark ? 1 : 0, std::memory_order_relaxed); }

// A user-visible text as its pair of literals.
struct BilingualText {
    const wchar_t* vi;
    const wchar_t* en;
    // The text in the language of this moment.
    const wchar_t* get() const noexcept { return IsVietnamese() ? vi : en; }
};

inline const wchar_t* Tr(const wchar_t* vi, const wchar_t* en) noexcept { return IsVietnamese() ? vi : en; }
