// Which SMI-S server of a list to use: the first one, in the list's order,
// that can be connected. A start is on the critical path of a failover, so
// a server whose host does not answer must not hold the choice up for the
// whole connection bound:
//   - the first server is contacted at once; the next one only when those
//     contacted have neither connected nor failed within SERVER_STAGGER_MS
//     (so a healthy first server keeps the choice at one connection);
//   - a server is passed over when it failed, or when SERVER_GRACE_MS
//     (time for one lost connection attempt to be sent again) has passed
//     since it was contacted and a later one has connected;
//   - otherwise the choice waits for every server contacted, each up to its
//     own connection bound: a server that is merely slow is still used when
//     no other answers.
// What is logged stays in the list's order: a server's connecting line
// when the choice reaches it, then, for one that cannot be used, what the
// caller reports. All on the caller's one thread.
#ifndef ZARN_SMIS_SERVER_CHOICE_H
#define ZARN_SMIS_SERVER_CHOICE_H

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zarn/store/smis_manager.h"

class SMISServer;

const long SERVER_STAGGER_MS = 300;
const long SERVER_GRACE_MS = 1500;

// One server a choice contacted, for the record of a run.
struct ServerAttempt {
  std::string host;
  std::uint32_t port = 0;  // the port contacted
  bool ssl = false;
  bool used = false;  // the server chosen
  // "connected", the failure reported for it, or, for a server the choice
  // no longer needed, NOT_NEEDED.
  std::string outcome;
  long milliseconds = 0;  // from its contact to that outcome
};

class ServerChoice {
 public:
  static const char* const NOT_NEEDED;  // "not needed: an earlier server was chosen"

  // Gives the next entry of the list; false at its end (it is not asked
  // again). Called only when the choice needs one more server.
  using Source = std::function<bool(SMISData*)>;
  // Told of each server that cannot be used, in the list's order.
  using Failed = std::function<void(const SMISData&, const std::exception&)>;

  // Each server gets the time-out in seconds that timeout gives (none
  // keeps SMISServer's), and, with logConnecting, its connecting line is
  // logged (as connectToServer does).
  ServerChoice(Source next, std::function<int()> timeout, bool logConnecting);
  ~ServerChoice();
  ServerChoice(const ServerChoice&) = delete;
  ServerChoice& operator=(const ServerChoice&) = delete;

  // The next server to use, connected; null when the list has none left.
  // Servers contacted but not chosen are let go, and contacted again first
  // by the next call, so a caller for whom the chosen server does not do
  // can ask again.
  std::unique_ptr<SMISServer> choose(const Failed& failed);

  // Every server contacted so far, in the order their outcome was known.
  const std::vector<ServerAttempt>& getAttempts() const { return attempts; }

 private:
  struct Candidate;
  bool contactNext(std::vector<Candidate>* candidates);
  void record(const Candidate& candidate, bool used, const std::string& outcome);

  Source next;
  std::function<int()> timeout;
  bool logConnecting;
  bool listEnded = false;
  std::deque<SMISData> again;  // let go by the last choice, in list order
  std::vector<ServerAttempt> attempts;
};

#endif  // ZARN_SMIS_SERVER_CHOICE_H
