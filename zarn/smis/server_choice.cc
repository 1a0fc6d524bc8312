#include "zarn/smis/server_choice.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "drif/logger.h"
#include "zarn/smis/smis_server.h"

namespace {

using Clock = std::chrono::steady_clock;

long since(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// The longest the choice waits without looking again; the connections' own
// bounds end their waits sooner when due.
const long LONGEST_WAIT_MS = 1000;

}  // namespace

const char* const ServerChoice::NOT_NEEDED = "not needed: an earlier server was chosen";

struct ServerChoice::Candidate {
  SMISData entry;
  std::unique_ptr<SMISServer> server;
  std::string connectingLine;  // empty when the checks before connecting failed
  Clock::time_point contacted;
  long milliseconds = 0;
  bool connected = false;
  std::exception_ptr failure;

  bool pending() const { return !connected && !failure; }

  // Moves the connection on; notes how it ended, if it has.
  void advance() {
    if (!pending()) return;
    try {
      if (!server->advanceConnect()) return;
      server->finishConnect();
      connected = true;
    } catch (...) {
      failure = std::current_exception();
    }
    milliseconds = since(contacted);
  }
};

ServerChoice::ServerChoice(Source next, std::function<int()> timeout, bool logConnecting)
    : next(std::move(next)), timeout(std::move(timeout)), logConnecting(logConnecting) {}

ServerChoice::~ServerChoice() = default;

bool ServerChoice::contactNext(std::vector<Candidate>* candidates) {
  SMISData entry;
  if (!again.empty()) {
    entry = again.front();
    again.pop_front();
  } else if (listEnded || !next(&entry)) {
    listEnded = true;
    return false;
  }
  candidates->emplace_back();
  Candidate& c = candidates->back();
  c.entry = entry;
  c.contacted = Clock::now();
  try {
    c.server = std::make_unique<SMISServer>();
    setUpListedServer(*c.server, entry, timeout);
    c.connectingLine = c.server->beginConnect(entry.username, entry.password,
                                              static_cast<std::uint32_t>(entry.port));
  } catch (...) {
    c.failure = std::current_exception();
  }
  return true;
}

void ServerChoice::record(const Candidate& c, bool used, const std::string& outcome) {
  ServerAttempt attempt;
  attempt.host = c.entry.hostname;
  attempt.ssl = listedWithSSL(c.entry);
  attempt.port = SMISServer::portInUse(static_cast<std::uint32_t>(c.entry.port), attempt.ssl);
  attempt.used = used;
  attempt.outcome = outcome;
  attempt.milliseconds = c.pending() ? since(c.contacted) : c.milliseconds;
  attempts.push_back(attempt);
}

std::unique_ptr<SMISServer> ServerChoice::choose(const Failed& failed) {
  Logger* log = Logger::getInstance();
  std::vector<Candidate> candidates;  // in list order; those before head are settled
  size_t head = 0;
  bool headAnnounced = false;
  if (!contactNext(&candidates)) return nullptr;
  Clock::time_point lastContact = Clock::now();

  for (;;) {
    for (size_t i = head; i < candidates.size(); ++i) candidates[i].advance();

    // Settle the servers in list order as far as their outcomes allow.
    while (head < candidates.size()) {
      Candidate& c = candidates[head];
      if (!headAnnounced) {
        headAnnounced = true;
        if (logConnecting && !c.connectingLine.empty()) log->log(c.connectingLine);
      }
      if (c.connected) {
        record(c, true, "connected");
        for (size_t i = head + 1; i < candidates.size(); ++i)
          record(candidates[i], false, NOT_NEEDED);
        for (size_t i = candidates.size(); i-- > head + 1;)
          again.push_front(candidates[i].entry);
        return std::move(c.server);
      }
      if (c.pending()) {
        bool laterConnected =
            std::any_of(candidates.begin() + static_cast<long>(head) + 1, candidates.end(),
                        [](const Candidate& later) { return later.connected; });
        if (!laterConnected || since(c.contacted) < SERVER_GRACE_MS) break;
        try {
          c.server->abandonConnect();
        } catch (...) {
          c.failure = std::current_exception();
        }
        c.milliseconds = since(c.contacted);
      }
      c.server.reset();
      try {
        std::rethrow_exception(c.failure);
      } catch (const std::exception& e) {
        record(c, false, e.what());
        failed(c.entry, e);
      }
      ++head;
      headAnnounced = false;
    }
    if (head == candidates.size()) {
      if (!contactNext(&candidates)) return nullptr;
      lastContact = Clock::now();
      continue;
    }

    // The head is still connecting. With a later server connected, wait
    // for the head's grace to end; with none, contact one more server once
    // the stagger has passed.
    long wait = LONGEST_WAIT_MS;
    bool laterConnected = std::any_of(candidates.begin() + static_cast<long>(head),
                                      candidates.end(),
                                      [](const Candidate& c) { return c.connected; });
    if (laterConnected) {
      wait = SERVER_GRACE_MS - since(candidates[head].contacted);
    } else if (!again.empty() || !listEnded) {
      wait = SERVER_STAGGER_MS - since(lastContact);
      if (wait <= 0) {
        if (contactNext(&candidates)) lastContact = Clock::now();
        continue;
      }
    }
    std::vector<SMISServer*> connecting;
    for (size_t i = head; i < candidates.size(); ++i)
      if (candidates[i].pending()) connecting.push_back(candidates[i].server.get());
    SMISServer::waitForConnections(connecting, std::clamp(wait, 0L, LONGEST_WAIT_MS));
  }
}
