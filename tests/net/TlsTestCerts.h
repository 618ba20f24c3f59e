#pragma once

#include <string>

#include "TestCommand.h"
#include "foundation/TempDir.h"

namespace quarn {

// A throw-away certificate authority and the certificates the TLS tests use,
// made with the openssl command line in a fresh directory.
class TlsTestCerts {
 public:
  TlsTestCerts() {
    makeCa("ca", "Quarn Test CA");
    makeCa("otherca", "Quarn Other CA");
    makeLeaf("server", "ca", "localhost",
             "subjectAltName=DNS:localhost,DNS:quarn.test,IP:127.0.0.1", "1");
    makeLeaf("expired", "ca", "localhost", "subjectAltName=DNS:quarn.test,IP:127.0.0.1", "-1");
    makeLeaf("untrusted", "otherca", "quarn.test", "subjectAltName=DNS:quarn.test", "1");
    makeLeaf("dotted", "ca", "quarn.test", "subjectAltName=DNS:dotted.quarn.test.", "1");
    makeLeaf("cnonly", "ca", "cn.quarn.test", "subjectAltName=DNS:other.quarn.test", "1");
    makeLeaf("client", "ca", "quarn-client", "extendedKeyUsage=clientAuth", "1");
    runOrThrow("openssl pkcs12 -export -passout pass: -in " + pem("client") + " -inkey " +
               key("client") + " -certfile " + pem("ca") + " -out " + path("client.p12") + quiet());
    runOrThrow("openssl pkcs12 -export -passout pass:secret -in " + pem("client") + " -inkey " +
               key("client") + " -out " + path("locked.p12") + quiet());
  }

  std::string pem(const std::string& name) const { return path(name + ".pem"); }
  std::string key(const std::string& name) const { return path(name + ".key"); }
  std::string path(const std::string& file) const { return dir_.file(file); }

 private:
  std::string quiet() const { return " >>" + dir_.file("openssl.log") + " 2>&1"; }

  void makeCa(const std::string& name, const std::string& cn) {
    runOrThrow("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout " +
               key(name) + " -out " + pem(name) + " -days 2 -subj '/CN=" + cn + "'" + quiet());
  }

  void makeLeaf(const std::string& name, const std::string& ca, const std::string& cn,
                const std::string& extension, const std::string& days) {
    std::string ext = path(name + ".ext");
    runOrThrow("printf '%s\\n' '" + extension + "' > " + ext);
    runOrThrow("openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout " +
               key(name) + " -out " + path(name + ".csr") + " -subj '/CN=" + cn + "'" + quiet());
    runOrThrow("openssl x509 -req -in " + path(name + ".csr") + " -CA " + pem(ca) + " -CAkey " +
               key(ca) + " -CAcreateserial -days " + days + " -extfile " + ext + " -out " +
               pem(name) + quiet());
  }

  TempDir dir_;
};

}  // namespace quarn
