// One connection to one SMI-S server (a CIM server). SMISServer holds the
// server's address, credentials, namespace, protocol choice and time-out,
// owns its CIM client, and connects it over HTTP, HTTPS or the local
// connection (an empty host name: the CIM server of this host, reached
// through the client's local socket without credentials). After a caller
// has marked a request as timed out (setState(TIMEOUT)), the next
// getCIMClient() replaces the client with a newly connected one.
//
// ZARNAPI and the administration tools create one SMISServer per server
// they try. Connect failures are thrown: UnexpectedArgumentException for
// missing credentials, the CIM client's exceptions otherwise.
#ifndef ZARN_SMIS_SMIS_SERVER_H
#define ZARN_SMIS_SMIS_SERVER_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cim/client.h"
#include "cim/name.h"
#include "cim/ssl_context.h"
#include "zarn/smis/smis_trust_store.h"

class Logger;

enum ServerState { UNKNOWN_STATE = 0, FAILED = 1, CONNECTED = 2, TIMEOUT = 3 };

constexpr char DEFAULT_NAME_SPACE[] = "root/ZARN";
constexpr char SSLCLIENT_RANDOMFILE[] = "/dev/random";

class SMISServer {
 public:
  SMISServer();
  ~SMISServer();
  SMISServer(const SMISServer&) = delete;
  SMISServer& operator=(const SMISServer&) = delete;

  ServerState getState() const;
  void setState(ServerState newState);
  const std::string& getHostname() const;
  void setHostname(const std::string& host);
  bool getUseSSL() const;
  void setUseSSL(bool ssl);
  const cim::NamespaceName& getCimNamespace() const;
  void setCimNamespace(const cim::NamespaceName& ns);
  // cim::InvalidNameException when the text is not a namespace name.
  void setCimNamespace(const std::string& ns);
  // The request time-out in seconds; the client gets seconds x 1000 ms.
  void setTimeout(int seconds);
  int getTimeout() const;

  // The client for the next request; reconnects first when the state is
  // TIMEOUT (a failed reconnection throws and leaves the state TIMEOUT).
  cim::Client& getCIMClient();

  // Connect the client with these credentials; port 0 means 5988 for HTTP
  // and 5989 for HTTPS. Only connectToServer logs the connecting line.
  void connectToServer(const std::string& username, const std::string& password,
                       std::uint32_t port);
  void connectToSMISServer(const std::string& username, const std::string& password,
                           std::uint32_t port);

  // connectToServer() in steps, so that one thread can connect to several
  // servers at once (ServerChoice): beginConnect makes the same checks
  // (throwing as connectToServer does), begins the connection without
  // waiting and returns the line connectToServer would log, unlogged;
  // advanceConnect moves the connection on and is true once it has ended;
  // finishConnect then makes the server CONNECTED or throws what
  // connectToServer throws. abandonConnect drops a connection still under
  // way with a cim::ConnectionTimeoutException naming the time it took.
  // waitForConnections waits until one of the servers being connected can
  // move on, or at most mostMs.
  std::string beginConnect(const std::string& username, const std::string& password,
                           std::uint32_t port);
  bool advanceConnect();
  void finishConnect();
  [[noreturn]] void abandonConnect();
  static void waitForConnections(const std::vector<SMISServer*>& connecting, long mostMs);

  // The port a connect with port uses: 5988 for 0 over HTTP, 5989 for 0
  // over HTTPS, else port.
  static std::uint32_t portInUse(std::uint32_t port, bool ssl);

  // The certificate check of HTTPS connections: every server certificate
  // is accepted (SMI-S providers usually have self-signed ones), unless the
  // host has a trusted certificate in the trust folder: then the server
  // must present its key (cim::UntrustedServerException otherwise).
  static bool verifyCertificate(const cim::CertificateInfo& certificate);

  // The trust folder of SMISTrustStore (tests only).
  void setTrustFolder(const std::string& folder) { trustFolder = folder; }

 private:
  void connect(const std::string& username, const std::string& password,
               std::uint32_t port, bool logConnecting);
  // Keeps the credentials and makes the checks of a connect; the endpoint
  // to connect to and, in *line, the connecting line.
  cim::Endpoint prepareConnect(const std::string& username, const std::string& password,
                               std::uint32_t port, std::string* line);
  void pinTrustedCertificate(std::uint32_t port, cim::SslContext* ssl) const;
  // Cuts the client's time-out to what the run's time limit, if any,
  // leaves; SMISServerException when nothing is left.
  void fitToTimeLimit();

  Logger* log;
  std::unique_ptr<cim::Client> cimClient;
  bool useSSL;
  std::string hostname;
  std::string smisUsername;
  std::string smisPassword;
  std::uint32_t smisPortNumber;
  int timeout;  // seconds
  cim::NamespaceName cimNamespace;
  ServerState state;
  std::string trustFolder;
};

class SMISData;

// Whether an entry of the SMI-S server list is reached over HTTPS: its SSL
// field is "Y" or "y".
bool listedWithSSL(const SMISData& entry);

// What the administrator should know about how the server of entry is
// reached: over HTTP its user name and password travel in clear text; over
// HTTPS without a trust file in trustFolder any certificate is accepted.
// One "Warning - " message, or "" when the server is pinned.
std::string connectionWarning(const SMISData& entry,
                              const std::string& trustFolder = SMIS_TRUST_FOLDER);

// Sets server up from an entry of the SMI-S server list: host name,
// namespace (cim::InvalidNameException when it is none), SSL as
// listedWithSSL says, then the time-out in seconds that timeout gives (none
// keeps the server's).
void setUpListedServer(SMISServer& server, const SMISData& entry,
                       const std::function<int()>& timeout);
// setUpListedServer, then connects the server with the entry's credentials
// and port, logging the connecting line when logConnecting
// (connectToServer, else connectToSMISServer). Throws what those throw.
void connectListedServer(SMISServer& server, const SMISData& entry,
                         const std::function<int()>& timeout,
                         bool logConnecting);

#endif  // ZARN_SMIS_SMIS_SERVER_H
