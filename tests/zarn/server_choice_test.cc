// ServerChoice over servers on loopback: healthy ones (scripted), one that
// refuses connections, one whose host drops connection attempts, and one
// that answers only after a while. Which server is used, what is reported
// and logged for the others, and how long a dead one holds the choice up.
#include "zarn/smis/server_choice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "cim/xml_writer.h"
#include "drif/logger.h"
#include "tests/support/black_hole.h"
#include "tests/support/fake_platform.h"
#include "tests/support/map_store.h"
#include "tests/support/ports.h"
#include "tests/support/scripted_server.h"
#include "zarn/smis/smis_lookup.h"
#include "zarn/smis/smis_server.h"

namespace {

using support::Request;
using support::ScriptedServer;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

bool answer(int fd, const Request& req) {
  size_t at = req.body.find("MESSAGE ID=\"") + 12;
  std::string id = req.body.substr(at, req.body.find('"', at) - at);
  return support::sendAll(
      fd, support::cimResponse(cim::xml::intrinsicResponse(id, "EnumerateInstanceNames", "")));
}

SMISData listed(int port, const std::string& ns = "root/ZARN") {
  return support::server("127.0.0.1", port, ns, "N", "admin", "secret");
}

std::string connecting(int port) {
  return "Connecting to SMI-S server 127.0.0.1:" + std::to_string(port);
}

class ServerChoiceTest : public ::testing::Test {
 protected:
  // Chooses from list (the query time-out 300 s: a 10 s connection bound);
  // each server passed over is logged as "failed <port>: <reason>".
  std::unique_ptr<SMISServer> choose(ServerChoice& choice) {
    auto started = Clock::now();
    std::unique_ptr<SMISServer> chosen =
        choice.choose([](const SMISData& data, const std::exception& e) {
          Logger::getInstance()->log("failed " + std::to_string(data.port) + ": " + e.what());
        });
    took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    return chosen;
  }
  ServerChoice choiceOf(std::vector<SMISData> list) {
    auto next = [list, at = size_t(0)](SMISData* data) mutable {
      if (at == list.size()) return false;
      *data = list[at++];
      return true;
    };
    return ServerChoice(next, [] { return 300; }, true);
  }
  // The logged lines, each reason of a failure cut to its first words.
  Lines logged() {
    Lines out;
    for (std::string line : sys.normalMessages()) {
      size_t reason = line.find(": ");
      if (line.rfind("failed ", 0) == 0 && reason != std::string::npos)
        line = line.substr(0, reason);
      out.push_back(line);
    }
    sys.console.writes.clear();
    return out;
  }

  fake::ScopedPlatform sys;
  fake::ScopedLogger logger;
  std::chrono::milliseconds took{0};
  ScriptedServer first{answer};
  ScriptedServer second{answer};
};

// Given servers that answer or fail at once, the list's order decides, a
// server after a healthy one is never contacted, and the lines come in the
// list's order.
TEST_F(ServerChoiceTest, ListOrderDecides) {
  const int a = first.port(), b = second.port(), refused = support::unusedPort();
  const struct {
    const char* what;
    std::vector<SMISData> list;
    int chosenPort;  // 0: none
    Lines lines;
  } cases[] = {
      {"both healthy", {listed(a), listed(b)}, a, {connecting(a)}},
      {"first refuses",
       {listed(refused), listed(b)},
       b,
       {connecting(refused), "failed " + std::to_string(refused), connecting(b)}},
      {"first has no namespace name",
       {listed(refused, "root//ZARN"), listed(a)},
       a,
       {"failed " + std::to_string(refused), connecting(a)}},
      {"none usable",
       {listed(refused), listed(refused)},
       0,
       {connecting(refused), "failed " + std::to_string(refused), connecting(refused),
        "failed " + std::to_string(refused)}},
      {"empty list", {}, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ServerChoice choice = choiceOf(c.list);
    std::unique_ptr<SMISServer> chosen = choose(choice);
    ASSERT_EQ(chosen != nullptr, c.chosenPort != 0);
    EXPECT_EQ(logged(), c.lines);
    if (chosen) {
      EXPECT_EQ(chosen->getState(), CONNECTED);
      EXPECT_EQ(choice.getAttempts().back().port, static_cast<std::uint32_t>(c.chosenPort));
      EXPECT_TRUE(enumerateStorageSystems(*chosen).empty());
    }
  }
  EXPECT_EQ(second.connections(), 1);  // only when the first refused
}

// Asking again goes on down the list, a server contacted but not chosen
// included.
TEST_F(ServerChoiceTest, AskingAgainGoesOnDownTheList) {
  ServerChoice choice = choiceOf({listed(first.port()), listed(second.port())});
  std::unique_ptr<SMISServer> one = choose(choice);
  std::unique_ptr<SMISServer> two = choose(choice);
  ASSERT_TRUE(one && two);
  EXPECT_EQ(logged(), (Lines{connecting(first.port()), connecting(second.port())}));
  EXPECT_EQ(choose(choice), nullptr);
}

// Given a black-holed first server and a healthy second one: the second is
// used once the first's grace is over, long before the first's connection
// bound (10 s), and the first is reported as not answering in that time.
TEST_F(ServerChoiceTest, BlackHoledFirstServerIsPassedOverAfterItsGrace) {
  support::BlackHole hole;
  ASSERT_NE(hole.port(), 0);
  const long boundMs = 10000;
  ServerChoice healthyAlone = choiceOf({listed(second.port())});
  ASSERT_NE(choose(healthyAlone), nullptr);
  const auto alone = took;
  logged();

  ServerChoice choice = choiceOf({listed(hole.port()), listed(second.port())});
  std::unique_ptr<SMISServer> chosen = choose(choice);
  ASSERT_NE(chosen, nullptr);
  EXPECT_LT((took - alone).count(), boundMs / 3) << "took " << took.count() << " ms";
  EXPECT_EQ(logged(), (Lines{connecting(hole.port()), "failed " + std::to_string(hole.port()),
                             connecting(second.port())}));
  const std::vector<ServerAttempt>& attempts = choice.getAttempts();
  ASSERT_EQ(attempts.size(), 2u);
  EXPECT_EQ(attempts[0].port, static_cast<std::uint32_t>(hole.port()));
  EXPECT_FALSE(attempts[0].used);
  EXPECT_EQ(attempts[0].outcome.rfind("No response from 127.0.0.1:" +
                                          std::to_string(hole.port()) + " within ", 0),
            0u)
      << attempts[0].outcome;
  EXPECT_GE(attempts[0].milliseconds, SERVER_GRACE_MS);
  EXPECT_TRUE(attempts[1].used);
  EXPECT_EQ(attempts[1].outcome, "connected");
}

// Given a first server that answers only after its grace and a second that
// does not answer either: the slow one is still used, nothing is reported.
TEST_F(ServerChoiceTest, SlowServerIsUsedWhenNoOtherAnswers) {
  support::BlackHole slow(std::chrono::milliseconds(SERVER_GRACE_MS + 300));
  support::BlackHole dead;
  ASSERT_NE(slow.port(), 0);
  ASSERT_NE(dead.port(), 0);
  ServerChoice choice = choiceOf({listed(slow.port()), listed(dead.port())});
  std::unique_ptr<SMISServer> chosen = choose(choice);
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(logged(), Lines{connecting(slow.port())});
  EXPECT_GE(took.count(), SERVER_GRACE_MS);
  ASSERT_EQ(choice.getAttempts().size(), 2u);
  EXPECT_TRUE(choice.getAttempts()[0].used);
  EXPECT_EQ(choice.getAttempts()[1].outcome, ServerChoice::NOT_NEEDED);
}

}  // namespace
