// The list file written on a thread of its own. The window builds the
// file's text and hands it over; the atomic write and its flush (seconds on
// a USB stick inside Windows PE, longer than a hand-over's sender waits)
// never hold up the UI thread. One write at a time: the list offers the
// next text, built from its rows as they are then, once the last one ended.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

class ListWriter {
public:
    explicit ListWriter(std::wstring path);
    ~ListWriter();  // waits for a write in flight
    ListWriter(const ListWriter&) = delete;
    ListWriter& operator=(const ListWriter&) = delete;

    bool Busy() const;
    // Starts writing `text` over the file atomically, after keeping the
    // file as "<path>.bak…" when `backUpFirst` (a damaged list is never
    // written over), and deleting `afterWrite` once it is written (the
    // states kept beside finished files until the list records them).
    // False when a write is in flight or no thread started.
    bool Start(std::string text, bool backUpFirst, std::vector<std::wstring> afterWrite = {});
    // Returns once no write is in flight.
    void Wait();
    struct Outcome {
        bool written = false;  // false: failed, the file unchanged
        std::wstring backup;   // the copy kept before it, if one was
    };
    // How the write that ended since the last call went; nothing when none ended.
    std::optional<Outcome> TakeOutcome();

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;  // held by the writing thread too
    std::wstring path_;
};

// Tests only: called on the writing thread before each write (a test holds
// a write there, as a slow disk would).
void SetListWriteHookForTests(void (*hook)());
// Tests only: called when someone starts to wait for a write in flight.
void SetListWaitHookForTests(void (*hook)());
