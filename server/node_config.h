// What the node serves and how: addresses, mirrors, categories, limits. Built from the
// command line and an optional UTF-8 configuration file; texts that go on the wire are held
// here already converted to GBK.
#pragma once

#include <string>
#include <vector>

namespace node {

// One picture mirror. `id` is the node id clients carry; it is also the HTTP base address
// the client puts before detail-picture paths.
struct Mirror {
    std::string id;         // GBK (normally ASCII), e.g. "http://127.0.0.1:1630"
    std::string region;     // GBK display name
    std::string sponsor;    // GBK
    std::string site;       // GBK
    std::string base;       // HTTP base of previews, detail pictures and images; defaults to id
    std::string imageBase;  // when set, full images are handed out from this external server
};

// Where the pictures of one category come from.
struct CategorySource {
    std::string category;                  // GBK category name
    std::vector<std::string> foldersUtf8;  // absolute or relative to the catalogue root
};

struct Config {
    std::string listenHost = "127.0.0.1";
    int listenPort = 1629;
    std::string httpHost = "127.0.0.1";
    int httpPort = 1630;

    std::string catalogueUtf8;  // root folder of the pictures
    std::string cacheUtf8;      // previews, detail pictures, converted images, counts database

    std::vector<Mirror> mirrors;  // first one answers the hello
    std::string notice;           // GBK; empty: no notice in the hello reply
    std::string description3;     // GBK third part of the hello's node description

    // Explicit category -> folders. Subject folders are split by width into the 4K and HD
    // category of the subject. Empty both: the fourteen category folders under the root.
    std::vector<CategorySource> categories;
    std::vector<CategorySource> subjects;  // `category` holds the subject, e.g. "风景"
    int min4kWidth = 3840;

    int pageSize = 15;
    int clientTimeoutSeconds = 180;
    int maxClients = 16384;
    int maxClientsPerAddress = 64;  // pack connections one client address may hold
    size_t maxRequestBytes = 64 * 1024;
    size_t maxPendingReplyBytes = 1024 * 1024;
    int httpMaxConnections = 4096;
    int httpPerAddress = 64;  // HTTP connections one client address may hold
    // Threads that make previews and detail pictures not yet in the cache; connections are
    // served by one event thread whatever their number.
    int httpThreads = 4;
    // The admin endpoint's own listener, used when an admin token is given.
    std::string adminHost = "127.0.0.1";
    int adminPort = 1631;
    // Connections on the protocol port from these addresses (a load balancer) start with a
    // PROXY protocol header naming the real client.
    std::vector<std::string> proxyFrom;
    bool pregenerate = true;  // make previews in the background after each scan
    // Where the counts live: empty or "sqlite" for counts.sqlite in the cache folder, or a
    // PostgreSQL address (postgresql://...) shared by the nodes of a cluster, which then also
    // carries notices and rescans to every node.
    std::string database;
};

// The fourteen category names in tab order: the seven 4K ones, then the seven HD ones.
const std::vector<std::string>& CategoryNames();
// 0..6 for a known category, -1 otherwise.
int TabPosition(const std::string& categoryGbk);
bool Is4kCategory(const std::string& categoryGbk);
// "最新", "风景", ... for positions 0..6.
const std::vector<std::string>& SubjectNames();

// Reads a configuration file into `config` (values not given keep what `config` holds).
// Returns false with a reason on a file that cannot be read or a line that makes no sense.
bool LoadConfigFile(const std::string& pathUtf8, Config& config, std::string& error);

// Fills what is still missing after the command line and the file: a cache folder, one
// mirror whose id is the node's own HTTP base address, bases of mirrors.
void CompleteConfig(Config& config);

// Parses "host:port" or ":port" or "port" into the two parts.
bool ParseHostPort(const std::string& text, std::string& host, int& port);

}  // namespace node
