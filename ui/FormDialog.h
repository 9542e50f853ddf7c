// A form: an optional intro text, labelled text boxes and check boxes (in
// one column, or in bands of two columns, row by row, between whole-width
// rows), and OK / Cancel.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ui {

enum class FieldKind : int32_t { Text = 0, Check = 1 };

// Where a field stands: across the form, or in the left or right column of
// the band that consecutive column fields make. The fields are read (and
// tabbed through) in their order, so a band lists its left column first.
enum class FieldPlace : int32_t { Whole = 0, Left = 1, Right = 2 };

struct FormField {
    FieldKind kind = FieldKind::Text;
    std::wstring label;
    std::wstring value;     // a text field's text, in and out
    bool ticked = false;    // a check field's state, in and out
    bool required = false;  // a text field that may not be left blank
    FieldPlace place = FieldPlace::Whole;
};

// What a paste into a text field came to.
enum class PasteOutcome : int32_t { Paste = 0, Handled = 1, CloseForm = 2 };

struct FormSpec {
    FormSpec();  // the Cancel text in the current language
    std::wstring title;
    std::wstring intro;
    std::vector<FormField> fields;
    std::wstring okText = L"OK";
    std::wstring cancelText;
    // Why the trimmed value of text field `index` is refused, empty when it
    // is accepted; asked for the fields in `checked`. A refused value keeps
    // the form open with the reason shown under its box.
    std::vector<size_t> checked;
    std::function<std::wstring(size_t index, const std::wstring& value)> refusal;
    // Asked before a paste into text field `index`, with the form's window
    // and the text fields' trimmed values of the moment (check fields
    // empty). Paste: the box pastes as usual; Handled: it pastes nothing;
    // CloseForm: the paste did the form's work, and the form closes as if
    // cancelled. None: every box pastes as usual.
    std::function<PasteOutcome(size_t index, HWND form, const std::vector<std::wstring>& values)> paste;
};

// True when the user accepted: the fields then hold the trimmed texts and
// the check states. On false the form is left as it was.
bool ShowFormDialog(HWND owner, FormSpec& spec);
// The reason shown in an open form for its refused field; empty when none.
std::wstring FormRefusalText(HWND dialog);

}  // namespace ui
