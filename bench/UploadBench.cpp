// qrv-bench-upload: one firmware upload with the program's own client, for
// bench/upload_vs_curl. It also writes the same request (header lines and
// body) to files so that curl can send the identical bytes.
//
//   qrv-bench-upload ADDRESS                 upload image 0, print the seconds taken
//   qrv-bench-upload --write FOLDER          FOLDER/headers.txt and FOLDER/body.bin
//   qrv-bench-upload --curl-pieces ADDRESS   the same request with libcurl's own
//                                            transfer loop and the same 1,460-byte
//                                            read callback (a reference, not a peer)

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

#include "engine/CameraClient.h"
#include "engine/FirmwarePackage.h"
#include "engine/MultipartForm.h"
#include "platform/Clock.h"
#include "platform/HeadlessOwner.h"

namespace {

const std::string kCredentials = "YWRtaW46YWRtaW4=";  // admin:admin

int WriteRequest(const qrv::FirmwarePackage& package, const std::string& folder) {
    const auto image = package.Image(0);
    const qrv::MultipartForm form = qrv::MakeMultipartForm(qrv::FormKind::Firmware, qrv::SecondsSinceEpoch());
    std::ofstream headers(folder + "/headers.txt", std::ios::binary);
    for (const std::string& line : form.Headers(image.size(), "Authorization: Basic " + kCredentials)) {
        headers << line << "\n";
    }
    std::ofstream body(folder + "/body.bin", std::ios::binary);
    body << form.head;
    body.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    body << form.tail;
    return headers && body ? 0 : 1;
}

int Upload(const qrv::FirmwarePackage& package, const std::string& address) {
    qrv::HeadlessOwner owner;
    qrv::CameraClient client(owner, address, kCredentials, package.Models());
    const auto image = package.Image(0);
    client.SetUploadData(image);
    // curl has its body in memory before its clock starts; so does this side.
    volatile unsigned sum = 0;
    for (size_t i = 0; i < image.size(); i += 4096) sum = sum + image[i];
    const auto start = std::chrono::steady_clock::now();
    const int result = client.UploadFirmware();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (result != 0) {
        std::fprintf(stderr, "upload to %s failed: %d\n", address.c_str(), result);
        return 1;
    }
    std::printf("%.6f\n", took.count());
    return 0;
}

struct PieceFeed {
    std::string body;
    size_t at = 0;
    static size_t Read(char* buffer, size_t size, size_t count, void* self) {
        auto* feed = static_cast<PieceFeed*>(self);
        const size_t n = std::min({size_t{1460}, feed->body.size() - feed->at, size * count});
        std::memcpy(buffer, feed->body.data() + feed->at, n);
        feed->at += n;
        return n;
    }
    static size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }
};

int UploadWithCurlPieces(const qrv::FirmwarePackage& package, const std::string& address) {
    const auto image = package.Image(0);
    const qrv::MultipartForm form = qrv::MakeMultipartForm(qrv::FormKind::Firmware, qrv::SecondsSinceEpoch());
    PieceFeed feed;
    feed.body = form.head + std::string(reinterpret_cast<const char*>(image.data()), image.size()) + form.tail;
    curl_slist* headers = nullptr;
    for (const std::string& line : form.Headers(image.size(), "Authorization: Basic " + kCredentials)) {
        headers = curl_slist_append(headers, line.c_str());
    }
    headers = curl_slist_append(headers, "Expect:");
    CURL* easy = curl_easy_init();
    const std::string url = "http://" + address + form.path;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "QRV Upgrade Tool");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(feed.body.size()));
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, &PieceFeed::Read);
    curl_easy_setopt(easy, CURLOPT_READDATA, &feed);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &PieceFeed::Discard);
    const auto start = std::chrono::steady_clock::now();
    const CURLcode code = curl_easy_perform(easy);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
    if (code != CURLE_OK) {
        std::fprintf(stderr, "upload to %s failed: %s\n", address.c_str(), curl_easy_strerror(code));
        return 1;
    }
    std::printf("%.6f\n", took.count());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qrv::FirmwarePackage package;
    package.LoadAll();
    if (argc == 3 && std::string(argv[1]) == "--write") return WriteRequest(package, argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--curl-pieces") return UploadWithCurlPieces(package, argv[2]);
    if (argc == 2) return Upload(package, argv[1]);
    std::fprintf(stderr, "usage: qrv-bench-upload ADDRESS | --write FOLDER | --curl-pieces ADDRESS\n");
    return 2;
}
