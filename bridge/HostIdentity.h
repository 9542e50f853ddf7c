// The names the browsers know this program by. The companion extension's
// manifests must carry the same values; they live here and nowhere else.
#pragma once

// Native-messaging host name (lower case, dots: the browsers' rule).
constexpr char kHostName[] = "pe.tidewell.host";
// The companion extension's ids in the Chromium family, derived from the
// public keys in extension/keys/ (tools/extension_ids.py; a test checks them).
constexpr const char* kChromiumExtensionIds[2] = {"iehkfcihndppaianhlblmkajlafjmohp",
                                                  "lkbphidfccmmaacnmiefobagkpnodoba"};
// The Firefox add-on's id, passed by Firefox as an argument to the host.
constexpr wchar_t kFirefoxAddonId[] = L"companion@tidewell-pe.invalid";
