#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <sys/socket.h>

#include <string>

#include "LoopbackPair.h"
#include "TlsTestCerts.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DlRetryEx.h"
#include "foundation/LogCapture.h"
#include "net/OpenSSLTLSContext.h"
#include "net/SocketCore.h"
#include "net/TLSContext.h"

namespace quarn {

namespace {

struct Outcome {
  bool clientDone = false;
  bool serverDone = false;
  std::string clientError;
  std::string serverError;
};

std::string sniSeen;

int recordServerName(SSL* ssl, int*, void*) {
  const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
  sniSeen = name ? name : "";
  return SSL_TLSEXT_ERR_OK;
}

std::string readSome(SocketCore& socket) {
  char buf[1024];
  for (int i = 0; i < 1000; ++i) {
    size_t len = sizeof(buf);
    socket.readData(buf, len);
    if (len > 0 || (!socket.wantRead() && !socket.wantWrite())) {
      return std::string(buf, len);
    }
    waitForWant(socket);
  }
  return "";
}

}  // namespace

class TLSTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A TLS close_notify to a peer that is gone must not end the process; the
    // program ignores SIGPIPE the same way at start-up.
    signal(SIGPIPE, SIG_IGN);
    certs_ = new TlsTestCerts();
  }
  static void TearDownTestSuite() {
    delete certs_;
    certs_ = nullptr;
  }
  void TearDown() override {
    SocketCore::setClientTLSContext(nullptr);
    SocketCore::setServerTLSContext(nullptr);
  }

  std::shared_ptr<OpenSSLTLSContext> useServer(const std::string& certName,
                                               TLSVersion minVer = TLS_PROTO_TLS12) {
    std::shared_ptr<TLSContext> ctx = TLSContext::make(TLS_SERVER, minVer);
    EXPECT_TRUE(ctx->good());
    EXPECT_TRUE(ctx->addCredentialFile(certs_->pem(certName), certs_->key(certName)));
    SocketCore::setServerTLSContext(ctx);
    auto openssl = std::static_pointer_cast<OpenSSLTLSContext>(ctx);
    SSL_CTX_set_tlsext_servername_callback(openssl->getSSLCtx(), recordServerName);
    return openssl;
  }

  std::shared_ptr<TLSContext> useClient(bool verifyPeer, TLSVersion minVer = TLS_PROTO_TLS12) {
    std::shared_ptr<TLSContext> ctx = TLSContext::make(TLS_CLIENT, minVer);
    EXPECT_TRUE(ctx->addTrustedCACertFile(certs_->pem("ca")));
    ctx->setVerifyPeer(verifyPeer);
    SocketCore::setClientTLSContext(ctx);
    return ctx;
  }

  // Steps both ends in turn until each has finished or failed.
  static Outcome handshake(LoopbackPair& pair, const std::string& hostname) {
    Outcome out;
    for (int i = 0; i < 2000; ++i) {
      bool clientOpen = !out.clientDone && out.clientError.empty();
      bool serverOpen = !out.serverDone && out.serverError.empty();
      if (!clientOpen && !serverOpen) {
        break;
      }
      if (clientOpen) {
        try {
          out.clientDone = pair.client->tlsConnect(hostname);
        } catch (const DlAbortEx& e) {
          out.clientError = e.what();
          pair.client->closeConnection();
        }
      }
      if (serverOpen) {
        try {
          out.serverDone = pair.server->tlsAccept();
        } catch (const DlAbortEx& e) {
          out.serverError = e.what();
          pair.server->closeConnection();
        }
      }
      if (pair.client->isOpen() && pair.server->isOpen()) {
        waitForEither(*pair.client, *pair.server);
      }
    }
    return out;
  }

  static TlsTestCerts* certs_;
};

TlsTestCerts* TLSTest::certs_ = nullptr;

TEST_F(TLSTest, ClientContextIsMadeOnceAtTheFirstHandshake) {
  useServer("server");
  int made = 0;
  SocketCore::setClientTLSContextFactory([&made] {
    ++made;
    std::shared_ptr<TLSContext> ctx = TLSContext::make(TLS_CLIENT, TLS_PROTO_TLS12);
    EXPECT_TRUE(ctx->addTrustedCACertFile(certs_->pem("ca")));
    ctx->setVerifyPeer(true);
    return ctx;
  });
  auto first = LoopbackPair::make();
  EXPECT_EQ(0, made);
  Outcome out = handshake(first, "localhost");
  ASSERT_TRUE(out.clientDone) << out.clientError;
  auto second = LoopbackPair::make();
  out = handshake(second, "localhost");
  ASSERT_TRUE(out.clientDone) << out.clientError;
  EXPECT_EQ(1, made);
  // A context set afterwards replaces the one made, and no factory is left.
  useClient(false);
  auto third = LoopbackPair::make();
  out = handshake(third, "localhost");
  ASSERT_TRUE(out.clientDone) << out.clientError;
  EXPECT_EQ(1, made);
}

TEST_F(TLSTest, VerifiedSessionCarriesDataAndEndsWithCloseNotify) {
  useServer("server");
  useClient(true);
  auto pair = LoopbackPair::make();
  Outcome out = handshake(pair, "localhost");
  ASSERT_TRUE(out.clientDone) << out.clientError;
  ASSERT_TRUE(out.serverDone) << out.serverError;
  // An established session answers at once.
  EXPECT_TRUE(pair.client->tlsConnect("localhost"));

  EXPECT_EQ(4, pair.client->writeData("ping", 4));
  EXPECT_EQ("ping", readSome(*pair.server));
  iovec iov[3] = {
      {const_cast<char*>("a"), 1}, {const_cast<char*>("bc"), 2}, {const_cast<char*>("def"), 3}};
  EXPECT_EQ(6, pair.server->writeVector(iov, 3));
  std::string got;
  while (got.size() < 6) {
    got += readSome(*pair.client);
  }
  EXPECT_EQ("abcdef", got);
  EXPECT_EQ(0u, pair.client->getRecvBufferedLength());

  pair.server->closeConnection();
  EXPECT_EQ("", readSome(*pair.client));
  EXPECT_FALSE(pair.client->wantRead());
}

TEST_F(TLSTest, PeerVerificationOutcomes) {
  struct Case {
    const char* cert;
    const char* hostname;
    bool verifyPeer;
    const char* clientError;
  } cases[] = {
      {"server", "127.0.0.1", true, ""},
      {"server", "quarn.test", true, ""},
      {"dotted", "dotted.quarn.test", true, ""},
      {"untrusted", "quarn.test", false, ""},
      {"expired", "quarn.test", false, ""},
      {"untrusted", "quarn.test", true,
       "SSL/TLS handshake failure: unable to get local issuer certificate"},
      {"server", "wrong.quarn.test", true, "SSL/TLS handshake failure: hostname does not match"},
      {"server", "127.0.0.2", true, "SSL/TLS handshake failure: hostname does not match"},
      {"cnonly", "cn.quarn.test", true, "SSL/TLS handshake failure: hostname does not match"},
      {"expired", "quarn.test", true, "SSL/TLS handshake failure: certificate has expired"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.cert) + " as " + c.hostname);
    useServer(c.cert);
    useClient(c.verifyPeer);
    auto pair = LoopbackPair::make();
    Outcome out = handshake(pair, c.hostname);
    EXPECT_EQ(c.clientError, out.clientError);
    EXPECT_EQ(out.clientError.empty(), out.clientDone);
  }
}

TEST_F(TLSTest, ServerNameIsSentOnlyForDottedNames) {
  struct Case {
    const char* hostname;
    const char* sni;
  } cases[] = {{"quarn.test", "quarn.test"}, {"localhost", ""}, {"127.0.0.1", ""}};
  for (const auto& c : cases) {
    useServer("server");
    useClient(false);
    sniSeen = "unset";
    auto pair = LoopbackPair::make();
    Outcome out = handshake(pair, c.hostname);
    ASSERT_TRUE(out.clientDone && out.serverDone) << out.clientError << out.serverError;
    EXPECT_EQ(c.sni, sniSeen) << c.hostname;
  }
}

TEST_F(TLSTest, ProtocolFloorRefusesOlderServer) {
  auto server = useServer("server");
  SSL_CTX_set_max_proto_version(server->getSSLCtx(), TLS1_2_VERSION);

  useClient(true, TLS_PROTO_TLS13);
  auto pair = LoopbackPair::make();
  Outcome out = handshake(pair, "localhost");
  EXPECT_FALSE(out.clientDone);
  EXPECT_EQ(0u, out.clientError.find("SSL/TLS handshake failure: ")) << out.clientError;

  useClient(true, TLS_PROTO_TLS12);
  auto pair12 = LoopbackPair::make();
  out = handshake(pair12, "localhost");
  EXPECT_TRUE(out.clientDone) << out.clientError;
}

TEST_F(TLSTest, ClientCertificateFromPemOrPkcs12) {
  auto server = useServer("server");
  SSL_CTX_set_verify(server->getSSLCtx(), SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT,
                     nullptr);
  ASSERT_EQ(1,
            SSL_CTX_load_verify_locations(server->getSSLCtx(), certs_->pem("ca").c_str(), nullptr));
  // TLS 1.2 makes the server's verdict part of the client's handshake.
  SSL_CTX_set_max_proto_version(server->getSSLCtx(), TLS1_2_VERSION);

  {
    useClient(true);
    auto pair = LoopbackPair::make();
    Outcome out = handshake(pair, "localhost");
    EXPECT_FALSE(out.serverDone);
    EXPECT_FALSE(out.serverError.empty());
    EXPECT_FALSE(out.clientDone);
  }
  {
    auto client = useClient(true);
    ASSERT_TRUE(client->addCredentialFile(certs_->pem("client"), certs_->key("client")));
    auto pair = LoopbackPair::make();
    Outcome out = handshake(pair, "localhost");
    EXPECT_TRUE(out.serverDone) << out.serverError;
    EXPECT_TRUE(out.clientDone) << out.clientError;
  }
  {
    auto client = useClient(true);
    ASSERT_TRUE(client->addCredentialFile(certs_->path("client.p12"), ""));
    auto pair = LoopbackPair::make();
    Outcome out = handshake(pair, "localhost");
    EXPECT_TRUE(out.serverDone) << out.serverError;
    EXPECT_TRUE(out.clientDone) << out.clientError;
  }
}

TEST_F(TLSTest, UnusableCredentialsAreRefused) {
  for (TLSSessionSide side : {TLS_CLIENT, TLS_SERVER}) {
    auto ctx = TLSContext::make(side, TLS_PROTO_TLS12);
    // A password-protected PKCS#12 file, a PEM file taken for PKCS#12, missing files.
    EXPECT_FALSE(ctx->addCredentialFile(certs_->path("locked.p12"), ""));
    EXPECT_FALSE(ctx->addCredentialFile(certs_->pem("client"), ""));
    EXPECT_FALSE(ctx->addCredentialFile(certs_->pem("client"), certs_->path("missing.key")));
    EXPECT_FALSE(ctx->addCredentialFile(certs_->path("missing.pem"), certs_->key("client")));
    EXPECT_FALSE(ctx->addTrustedCACertFile(certs_->path("missing.pem")));
    EXPECT_EQ(side, ctx->getSide());
    EXPECT_TRUE(ctx->getVerifyPeer());
  }
}

TEST_F(TLSTest, UnusablePkcs12FileGetsThePemHintOfItsSide) {
  runOrThrow(": > " + certs_->path("empty.p12"));
  struct Case {
    TLSSessionSide side;
    const char* file;
    const char* failure;
    const char* hint;
  } cases[] = {
      // No bytes are a PKCS#12 file that does not open, not a lack of memory.
      {TLS_CLIENT, "missing.p12", "Failed to open PKCS12 file: ", "--private-key."},
      {TLS_SERVER, "missing.p12", "Failed to open PKCS12 file: ", "--rpc-private-key."},
      {TLS_CLIENT, "empty.p12", "Failed to open PKCS12 file: ", "--private-key."},
      // A password-protected file opens but does not unpack.
      {TLS_CLIENT, "locked.p12", "Failed to parse PKCS12 file: ", "--private-key."},
      {TLS_SERVER, "locked.p12", "Failed to parse PKCS12 file: ", "--rpc-private-key."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " on side " + std::to_string(c.side));
    auto ctx = TLSContext::make(c.side, TLS_PROTO_TLS12);
    test::LogCapture log(certs_->path(std::string(c.file) + std::to_string(c.side) + ".log"));
    EXPECT_FALSE(ctx->addCredentialFile(certs_->path(c.file), ""));
    std::string text = log.text();
    EXPECT_EQ(std::string::npos, text.find("no memory")) << text;
    EXPECT_NE(std::string::npos, text.find(c.failure)) << text;
    EXPECT_NE(std::string::npos,
              text.find(std::string(". If you meant to use PEM, you'll also have to specify ") +
                        c.hint + " See the manual.\n"))
        << text;
  }
}

TEST_F(TLSTest, PeerClosingMidHandshakeIsAFailure) {
  useClient(false);
  // A close_notify alert record where the server's hello belongs.
  const std::string closeNotify("\x15\x03\x03\x00\x02\x01\x00", 7);
  enum Ending { AT_ONCE, AFTER_HELLO, WITH_CLOSE_NOTIFY };
  for (Ending ending : {AT_ONCE, AFTER_HELLO, WITH_CLOSE_NOTIFY}) {
    SCOPED_TRACE(ending);
    auto pair = LoopbackPair::make();
    // The server end stays plain TCP and goes away during the handshake.
    bool connected = pair.client->tlsConnect("localhost");
    EXPECT_FALSE(connected);
    if (ending != AT_ONCE) {
      ASSERT_TRUE(pair.server->isReadable(10));
      char buf[4096];
      size_t len = sizeof(buf);
      pair.server->readData(buf, len);
      EXPECT_GT(len, 0u);
    }
    if (ending == WITH_CLOSE_NOTIFY) {
      EXPECT_EQ(7, pair.server->writeData(closeNotify.data(), closeNotify.size()));
    }
    pair.server->closeConnection();
    try {
      for (int i = 0; i < 1000 && !connected; ++i) {
        waitForWant(*pair.client);
        connected = pair.client->tlsConnect("localhost");
      }
      FAIL() << "handshake reported done: " << connected;
    } catch (const DlAbortEx& e) {
      EXPECT_EQ(0u, std::string(e.what()).find("SSL/TLS handshake failure: ")) << e.what();
    }
  }
}

TEST_F(TLSTest, EndOfStreamWithoutCloseNotifyIsAReceiveError) {
  useServer("server");
  useClient(true);
  auto pair = LoopbackPair::make();
  Outcome out = handshake(pair, "localhost");
  ASSERT_TRUE(out.clientDone && out.serverDone);
  // A bare TCP close, as a truncation attack would look.
  ::shutdown(pair.server->getSockfd(), SHUT_RDWR);
  EXPECT_THROW(readSome(*pair.client), DlRetryEx);
}

}  // namespace quarn
