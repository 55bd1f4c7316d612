#pragma once

#include "core/record.h"
#include "tracehook/recordframer.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

namespace tracewin {

// One page runtime's connection, read on a thread of its own. The thread cuts the byte
// stream into records, parses them and queues them for the monitor in order, taking one
// record for each reply written (a record that arrives before its reply waits for it).
//
// While a run goes on by itself, the monitor hands the channel the reply it would give to
// every line, output and variables record (answerAhead). The thread then writes that reply
// as soon as such a record arrives and queues the record marked as answered: the page runs
// at the speed of the connection while the monitor shows what passed. Every other record,
// and every record while no reply is handed over, waits for the monitor to answer it.
//
// Replies written by the monitor and by the thread go out whole, one at a time, under a
// lock of their own: taking records never waits for a write. Nothing here knows of Qt;
// notify tells the owner's thread to take().
class RuntimeChannel {
public:
    struct Incoming {
        enum class Kind {
            Arrived,    // text and, when it parsed as a page record, record
            PeerClosed, // the runtime closed its side; atReadPoint: with a record owed
            Overflowed, // a record outgrew the size limit: nothing more is read
        };
        Kind kind = Kind::Arrived;
        std::string text;      // the record as received; empty when it parsed and keepText is off
        Record record;         // null for variables records and unknown formats
        bool answered = false; // the channel wrote its reply already
        bool atReadPoint = false;
        static Incoming of(Kind kind) {
            Incoming item;
            item.kind = kind;
            return item;
        }
    };

    // Takes a connected stream socket. notify is called on the reading thread, under the
    // channel's lock, when items are waiting and none were before take() last ran; it must
    // only post. A record answered ahead is handed over before its reply is written.
    // keepText keeps each record's text even when it parsed (for tracing).
    RuntimeChannel(int socket, std::size_t maxRecordBytes, std::function<void()> notify,
                   bool keepText = false);
    // Stops the thread and closes the socket, sending nothing more.
    ~RuntimeChannel();
    RuntimeChannel(const RuntimeChannel&) = delete;
    RuntimeChannel& operator=(const RuntimeChannel&) = delete;

    // What arrived since the last call, in order. comesBack tells whether the taker must
    // call again soon by itself: positions were passed ahead and nothing waits for the
    // monitor, so the run goes on by itself, and until the next call only a record that
    // waits for the monitor is announced (such a run wakes the monitor at the pace it takes
    // records, not once per record). Otherwise output answered ahead is announced as it
    // comes, so that whoever sees its reply finds it already announced.
    std::deque<Incoming> take(bool* comesBack = nullptr);
    // How many items wait to be taken.
    std::size_t waitingCount() const;
    // Positions and variables answered ahead: what only the last of shows for long, and
    // what tells that a run goes on by itself.
    static bool isPaced(const Incoming& item);

    // Writes one reply line (the line break is added). False, writing nothing more, when
    // the runtime has gone or does not read.
    bool write(std::string_view reply);
    // One more record is awaited (after a reply that the page answers with a record).
    void expectRecord();
    // No record is awaited any more: the page has ended.
    void expectNothing();
    // What the channel answers by itself as records arrive: output and variables records
    // always, line records too when lines is set, each with reply.
    struct AheadReplies {
        std::string reply;
        bool lines = false;
        bool operator==(const AheadReplies&) const = default;
    };
    // nullopt leaves every record to the monitor again.
    void answerAhead(std::optional<AheadReplies> replies);

    // Bytes received from the runtime whose records, if owed, are queued and announced
    // already: what the channel has done with everything up to there.
    std::uint64_t bytesReceived() const;

    // Writes a last line when one is given, closes the connection and stops reading.
    void close(std::optional<std::string_view> lastLine);
    bool peerClosed() const;
    // "Socket[addr=/127.0.0.1,port=P,localport=L]"
    std::string describe() const;

    static constexpr int kWriteTimeoutMs = 5000;
    // Past this many records or bytes not yet taken, records wait for the monitor again.
    static constexpr std::size_t kAheadBacklogRecords = 4096;
    static constexpr std::size_t kAheadBacklogBytes = 256u << 10;

private:
    void readLoop();
    // Takes the records owed from what was received. The lock is held, and let go while a
    // reply answered ahead is written.
    void takeOwedRecords(std::unique_lock<std::mutex>& lock);
    void queue(Incoming item);
    bool send(std::string_view bytes);     // takes writeMutex_
    bool sendLine(std::string_view reply); // adds the line break
    bool answersAhead(const Incoming& item) const;
    static std::size_t bytesOf(const Incoming& item);

    const int socket_;
    const int wakeFd_; // wakes the thread while it waits for a reply or the close
    std::function<void()> notify_;
    const bool keepText_;

    mutable std::mutex mutex_;
    std::mutex writeMutex_; // one reply on the socket at a time; never held with mutex_
    tracehook::RecordFramer framer_;
    std::uint64_t received_ = 0;      // bytes handed to the framer
    std::uint64_t receivedTaken_ = 0; // of those, the bytes whose owed records are queued
    std::deque<Incoming> inbox_;
    std::size_t inboxBytes_ = 0;
    std::optional<AheadReplies> ahead_;
    std::string aheadLine_;         // the reply answered ahead, with its line break
    int owed_ = 1;                  // records awaited: the first, then one per reply
    bool taken_ = false;            // the first record was taken
    bool pacing_ = false;           // the taker comes back by itself
    bool notified_ = false;         // notify was called, or the taker comes back by itself
    bool promptlyNotified_ = false; // notify was called for a record announced at once
    bool parked_ = false;           // the thread waits for a reply, not in recv
    bool eof_ = false;
    std::atomic<bool> writeFailed_ = false; // set while writing, read under mutex_
    bool overflowReported_ = false;
    bool closedAtReadPointReported_ = false;
    bool closed_ = false; // close() ran: the thread stops, nothing more is written
    std::thread reader_;
};

} // namespace tracewin
