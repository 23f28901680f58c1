// createCSR, savePfxFile and loadPfx against the openssl command line doing
// the same work. Command-line figures include process start; BM_OpensslStart
// (`openssl version`) measures that start, to be subtracted per operation.
// All figures are wall-clock time (the tool's work happens in a child).
// Argument 0 works in a folder on disk, 1 in /dev/shm (tmpfs): our writes
// fsync the file and its folder, the tool's do not, and on tmpfs a sync
// costs nothing, which leaves the work itself to compare.
#include <benchmark/benchmark.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "crypto/RSAUtility.h"
#include "support/ToolRunner.h"
#include "system/CommonUtility.h"
#include "system/SecureFiles.h"

namespace karv {
namespace {

constexpr char kPassword[] = "Bench#2048";

// A temporary HOME with a key and a self-signed certificate made by the
// openssl tool, shared by all benchmarks of the run.
std::string makeTempFolder(const std::filesystem::path& under) {
  std::string tmpl = (under / "karv-bench-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("no temporary folder in " + under.string());
  return tmpl;
}

struct BenchFiles {
  std::string dir;         // on disk; also holds the tool's input files
  std::string folders[2];  // disk, tmpfs
  std::string keyPem, certPem, b64Cert;
  BenchFiles() {
    dir = makeTempFolder(std::filesystem::temp_directory_path());
    folders[0] = dir;
    folders[1] = makeTempFolder("/dev/shm");
    const auto made = test::runTool({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                                     dir + "/key.pem", "-out", dir + "/cert.pem", "-subj", "/CN=X12345-01", "-days",
                                     "30", "-addext", "basicConstraints=CA:FALSE"});
    if (made.exitCode != 0) throw std::runtime_error(made.output);
    keyPem = *readWholeFile(dir + "/key.pem");
    certPem = *readWholeFile(dir + "/cert.pem");
    BioPtr bio(BIO_new_mem_buf(certPem.data(), static_cast<int>(certPem.size())));
    X509Ptr cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    unsigned char* der = nullptr;
    const int len = i2d_X509(cert.get(), &der);
    b64Cert = CommonUtility().base64Encode(der, len);
    OPENSSL_free(der);
    for (const auto& folder : folders)
      if (RSAUtility().savePfxFile(b64Cert, keyPem, folder + "/cert.pfx", kPassword) != 0)
        throw std::runtime_error("save failed");
  }
  ~BenchFiles() {
    std::error_code ec;
    for (const auto& folder : folders) std::filesystem::remove_all(folder, ec);
  }
  const std::string& folder(const benchmark::State& state) const { return folders[state.range(0) == 0 ? 0 : 1]; }
};

BenchFiles& files() {
  static BenchFiles f;
  return f;
}

void runOrFail(benchmark::State& state, const std::vector<std::string>& argv) {
  if (test::runTool(argv).exitCode != 0) state.SkipWithError("openssl failed");
}

void BM_createCSR(benchmark::State& state) {
  ::setenv("HOME", files().folder(state).c_str(), 1);  // the key files go to <HOME>/.plix
  RSAUtility rsa;
  for (auto _ : state) {
    std::string csr, key;
    if (rsa.createCSR("X12345-01", 2048, csr, key) != 0) state.SkipWithError("createCSR failed");
  }
}

void BM_OpensslReqNewKey(benchmark::State& state) {
  const std::string& out = files().folder(state);
  for (auto _ : state)
    runOrFail(state, {"openssl", "req", "-new", "-newkey", "rsa:2048", "-nodes", "-sha256", "-keyout",
                      out + "/cli-key.pem", "-out", out + "/cli-req.pem", "-subj", "/CN=X12345-01"});
}

void BM_savePfxFile(benchmark::State& state) {
  const auto& f = files();
  RSAUtility rsa;
  for (auto _ : state)
    if (rsa.savePfxFile(f.b64Cert, f.keyPem, f.folder(state) + "/saved.pfx", kPassword) != 0)
      state.SkipWithError("save");
}

void BM_OpensslPkcs12Export(benchmark::State& state) {
  const auto& f = files();
  for (auto _ : state)
    runOrFail(state, {"openssl",
                      "pkcs12",
                      "-export",
                      "-inkey",
                      f.dir + "/key.pem",
                      "-in",
                      f.dir + "/cert.pem",
                      "-name",
                      "X12345-01",
                      "-keypbe",
                      "PBE-SHA1-3DES",
                      "-certpbe",
                      "PBE-SHA1-3DES",
                      "-macalg",
                      "sha1",
                      "-iter",
                      "2048",
                      "-out",
                      f.folder(state) + "/cli.pfx",
                      "-passout",
                      std::string("pass:") + kPassword});
}

void BM_loadPfx(benchmark::State& state) {
  const auto& f = files();
  RSAUtility rsa;
  for (auto _ : state) {
    CertInfo info;
    if (rsa.loadPfx(f.folder(state) + "/cert.pfx", kPassword, info) != 0) state.SkipWithError("load");
  }
}

void BM_OpensslPkcs12Load(benchmark::State& state) {
  const auto& f = files();
  for (auto _ : state)
    runOrFail(state, {"openssl", "pkcs12", "-in", f.folder(state) + "/cert.pfx", "-passin",
                      std::string("pass:") + kPassword, "-nodes", "-out", f.folder(state) + "/cli-out.pem"});
}

void BM_OpensslStart(benchmark::State& state) {
  for (auto _ : state) runOrFail(state, {"openssl", "version"});
}

// RSA key generation varies a lot from key to key (prime search), so those
// two run many times.
BENCHMARK(BM_createCSR)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(60);
BENCHMARK(BM_OpensslReqNewKey)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(60);
BENCHMARK(BM_savePfxFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpensslPkcs12Export)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_loadPfx)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpensslPkcs12Load)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpensslStart)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace karv

BENCHMARK_MAIN();
