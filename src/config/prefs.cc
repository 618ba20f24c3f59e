#include "config/prefs.h"

#include "config/PrefFactory.h"

namespace quarn {

namespace option {

size_t countOption() {
  return getPrefFactory()->getCount();
}

const Pref* i2p(size_t id) {
  return getPrefFactory()->i2p(id);
}

const Pref* k2p(const std::string& name) {
  return getPrefFactory()->k2p(name);
}

}  // namespace option

const std::string QN_V_TRUE = "true";
const std::string QN_V_FALSE = "false";
const std::string QN_V_DEFAULT = "default";
const std::string V_NONE = "none";
const std::string V_MEM = "mem";
const std::string V_ALL = "all";
const std::string QN_V_FULL = "full";
const std::string QN_V_HIDE = "hide";
const std::string QN_V_GEOM = "geom";
const std::string V_PREALLOC = "prealloc";
const std::string V_FALLOC = "falloc";
const std::string V_TRUNC = "trunc";
const std::string V_DEBUG = "debug";
const std::string V_INFO = "info";
const std::string V_NOTICE = "notice";
const std::string V_WARN = "warn";
const std::string V_ERROR = "error";
const std::string V_INORDER = "inorder";
const std::string QN_V_RANDOM = "random";
const std::string V_FEEDBACK = "feedback";
const std::string V_ADAPTIVE = "adaptive";
const std::string V_LIBUV = "libuv";
const std::string V_EPOLL = "epoll";
const std::string V_KQUEUE = "kqueue";
const std::string V_PORT = "port";
const std::string V_POLL = "poll";
const std::string V_SELECT = "select";
const std::string V_BINARY = "binary";
const std::string V_ASCII = "ascii";
const std::string V_GET = "get";
const std::string V_TUNNEL = "tunnel";
const std::string V_PLAIN = "plain";
const std::string V_ARC4 = "arc4";
const std::string V_HTTP = "http";
const std::string V_HTTPS = "https";
const std::string V_FTP = "ftp";
const std::string QN_V_TLS11 = "TLSv1.1";
const std::string QN_V_TLS12 = "TLSv1.2";
const std::string QN_V_TLS13 = "TLSv1.3";

const Pref* PREF_VERSION = getPrefFactory()->makePref("version");
const Pref* PREF_HELP = getPrefFactory()->makePref("help");
const Pref* PREF_TIMEOUT = getPrefFactory()->makePref("timeout");
const Pref* PREF_DNS_TIMEOUT = getPrefFactory()->makePref("dns-timeout");
const Pref* PREF_CONNECT_TIMEOUT = getPrefFactory()->makePref("connect-timeout");
const Pref* PREF_MAX_TRIES = getPrefFactory()->makePref("max-tries");
const Pref* PREF_AUTO_SAVE_INTERVAL = getPrefFactory()->makePref("auto-save-interval");
const Pref* PREF_LOG = getPrefFactory()->makePref("log");
const Pref* PREF_DIR = getPrefFactory()->makePref("dir");
const Pref* PREF_OUT = getPrefFactory()->makePref("out");
const Pref* PREF_SPLIT = getPrefFactory()->makePref("split");
const Pref* PREF_DAEMON = getPrefFactory()->makePref("daemon");
const Pref* PREF_REFERER = getPrefFactory()->makePref("referer");
const Pref* PREF_LOWEST_SPEED_LIMIT = getPrefFactory()->makePref("lowest-speed-limit");
const Pref* PREF_PIECE_LENGTH = getPrefFactory()->makePref("piece-length");
const Pref* PREF_MAX_OVERALL_DOWNLOAD_LIMIT =
    getPrefFactory()->makePref("max-overall-download-limit");
const Pref* PREF_MAX_DOWNLOAD_LIMIT = getPrefFactory()->makePref("max-download-limit");
const Pref* PREF_STARTUP_IDLE_TIME = getPrefFactory()->makePref("startup-idle-time");
const Pref* PREF_FILE_ALLOCATION = getPrefFactory()->makePref("file-allocation");
const Pref* PREF_NO_FILE_ALLOCATION_LIMIT = getPrefFactory()->makePref("no-file-allocation-limit");
const Pref* PREF_ALLOW_OVERWRITE = getPrefFactory()->makePref("allow-overwrite");
const Pref* PREF_REALTIME_CHUNK_CHECKSUM = getPrefFactory()->makePref("realtime-chunk-checksum");
const Pref* PREF_CHECK_INTEGRITY = getPrefFactory()->makePref("check-integrity");
const Pref* PREF_NETRC_PATH = getPrefFactory()->makePref("netrc-path");
const Pref* PREF_CONTINUE = getPrefFactory()->makePref("continue");
const Pref* PREF_NO_NETRC = getPrefFactory()->makePref("no-netrc");
const Pref* PREF_MAX_DOWNLOADS = getPrefFactory()->makePref("max-downloads");
const Pref* PREF_INPUT_FILE = getPrefFactory()->makePref("input-file");
const Pref* PREF_DEFERRED_INPUT = getPrefFactory()->makePref("deferred-input");
const Pref* PREF_MAX_CONCURRENT_DOWNLOADS = getPrefFactory()->makePref("max-concurrent-downloads");
const Pref* PREF_OPTIMIZE_CONCURRENT_DOWNLOADS =
    getPrefFactory()->makePref("optimize-concurrent-downloads");
const Pref* PREF_OPTIMIZE_CONCURRENT_DOWNLOADS_COEFFA =
    getPrefFactory()->makePref("optimize-concurrent-downloads-coeffA");
const Pref* PREF_OPTIMIZE_CONCURRENT_DOWNLOADS_COEFFB =
    getPrefFactory()->makePref("optimize-concurrent-downloads-coeffB");
const Pref* PREF_FORCE_SEQUENTIAL = getPrefFactory()->makePref("force-sequential");
const Pref* PREF_AUTO_FILE_RENAMING = getPrefFactory()->makePref("auto-file-renaming");
const Pref* PREF_PARAMETERIZED_URI = getPrefFactory()->makePref("parameterized-uri");
const Pref* PREF_ALLOW_PIECE_LENGTH_CHANGE =
    getPrefFactory()->makePref("allow-piece-length-change");
const Pref* PREF_NO_CONF = getPrefFactory()->makePref("no-conf");
const Pref* PREF_CONF_PATH = getPrefFactory()->makePref("conf-path");
const Pref* PREF_STOP = getPrefFactory()->makePref("stop");
const Pref* PREF_QUIET = getPrefFactory()->makePref("quiet");
const Pref* PREF_ASYNC_DNS = getPrefFactory()->makePref("async-dns");
const Pref* PREF_SUMMARY_INTERVAL = getPrefFactory()->makePref("summary-interval");
const Pref* PREF_LOG_LEVEL = getPrefFactory()->makePref("log-level");
const Pref* PREF_CONSOLE_LOG_LEVEL = getPrefFactory()->makePref("console-log-level");
const Pref* PREF_URI_SELECTOR = getPrefFactory()->makePref("uri-selector");
const Pref* PREF_SERVER_STAT_TIMEOUT = getPrefFactory()->makePref("server-stat-timeout");
const Pref* PREF_SERVER_STAT_IF = getPrefFactory()->makePref("server-stat-if");
const Pref* PREF_SERVER_STAT_OF = getPrefFactory()->makePref("server-stat-of");
const Pref* PREF_REMOTE_TIME = getPrefFactory()->makePref("remote-time");
const Pref* PREF_MAX_FILE_NOT_FOUND = getPrefFactory()->makePref("max-file-not-found");
const Pref* PREF_EVENT_POLL = getPrefFactory()->makePref("event-poll");
const Pref* PREF_ENABLE_RPC = getPrefFactory()->makePref("enable-rpc");
const Pref* PREF_RPC_LISTEN_PORT = getPrefFactory()->makePref("rpc-listen-port");
const Pref* PREF_RPC_USER = getPrefFactory()->makePref("rpc-user");
const Pref* PREF_RPC_PASSWD = getPrefFactory()->makePref("rpc-passwd");
const Pref* PREF_RPC_MAX_REQUEST_SIZE = getPrefFactory()->makePref("rpc-max-request-size");
const Pref* PREF_RPC_LISTEN_ALL = getPrefFactory()->makePref("rpc-listen-all");
const Pref* PREF_RPC_ALLOW_ORIGIN_ALL = getPrefFactory()->makePref("rpc-allow-origin-all");
const Pref* PREF_RPC_CERTIFICATE = getPrefFactory()->makePref("rpc-certificate");
const Pref* PREF_RPC_PRIVATE_KEY = getPrefFactory()->makePref("rpc-private-key");
const Pref* PREF_RPC_SECURE = getPrefFactory()->makePref("rpc-secure");
const Pref* PREF_RPC_SAVE_UPLOAD_METADATA = getPrefFactory()->makePref("rpc-save-upload-metadata");
const Pref* PREF_DRY_RUN = getPrefFactory()->makePref("dry-run");
const Pref* PREF_REUSE_URI = getPrefFactory()->makePref("reuse-uri");
const Pref* PREF_ON_DOWNLOAD_START = getPrefFactory()->makePref("on-download-start");
const Pref* PREF_ON_DOWNLOAD_PAUSE = getPrefFactory()->makePref("on-download-pause");
const Pref* PREF_ON_DOWNLOAD_STOP = getPrefFactory()->makePref("on-download-stop");
const Pref* PREF_ON_DOWNLOAD_COMPLETE = getPrefFactory()->makePref("on-download-complete");
const Pref* PREF_ON_DOWNLOAD_ERROR = getPrefFactory()->makePref("on-download-error");
const Pref* PREF_INTERFACE = getPrefFactory()->makePref("interface");
const Pref* PREF_MULTIPLE_INTERFACE = getPrefFactory()->makePref("multiple-interface");
const Pref* PREF_DISABLE_IPV6 = getPrefFactory()->makePref("disable-ipv6");
const Pref* PREF_HUMAN_READABLE = getPrefFactory()->makePref("human-readable");
const Pref* PREF_REMOVE_CONTROL_FILE = getPrefFactory()->makePref("remove-control-file");
const Pref* PREF_ALWAYS_RESUME = getPrefFactory()->makePref("always-resume");
const Pref* PREF_MAX_RESUME_FAILURE_TRIES = getPrefFactory()->makePref("max-resume-failure-tries");
const Pref* PREF_SAVE_SESSION = getPrefFactory()->makePref("save-session");
const Pref* PREF_MAX_CONNECTION_PER_SERVER =
    getPrefFactory()->makePref("max-connection-per-server");
const Pref* PREF_MIN_SPLIT_SIZE = getPrefFactory()->makePref("min-split-size");
const Pref* PREF_CONDITIONAL_GET = getPrefFactory()->makePref("conditional-get");
const Pref* PREF_SELECT_LEAST_USED_HOST = getPrefFactory()->makePref("select-least-used-host");
const Pref* PREF_ENABLE_ASYNC_DNS6 = getPrefFactory()->makePref("enable-async-dns6");
const Pref* PREF_MAX_DOWNLOAD_RESULT = getPrefFactory()->makePref("max-download-result");
const Pref* PREF_RETRY_WAIT = getPrefFactory()->makePref("retry-wait");
const Pref* PREF_ASYNC_DNS_SERVER = getPrefFactory()->makePref("async-dns-server");
const Pref* PREF_SHOW_CONSOLE_READOUT = getPrefFactory()->makePref("show-console-readout");
const Pref* PREF_STREAM_PIECE_SELECTOR = getPrefFactory()->makePref("stream-piece-selector");
const Pref* PREF_TRUNCATE_CONSOLE_READOUT = getPrefFactory()->makePref("truncate-console-readout");
const Pref* PREF_PAUSE = getPrefFactory()->makePref("pause");
const Pref* PREF_DOWNLOAD_RESULT = getPrefFactory()->makePref("download-result");
const Pref* PREF_HASH_CHECK_ONLY = getPrefFactory()->makePref("hash-check-only");
const Pref* PREF_CHECKSUM = getPrefFactory()->makePref("checksum");
const Pref* PREF_STOP_WITH_PROCESS = getPrefFactory()->makePref("stop-with-process");
const Pref* PREF_ENABLE_MMAP = getPrefFactory()->makePref("enable-mmap");
const Pref* PREF_FORCE_SAVE = getPrefFactory()->makePref("force-save");
const Pref* PREF_SAVE_NOT_FOUND = getPrefFactory()->makePref("save-not-found");
const Pref* PREF_DISK_CACHE = getPrefFactory()->makePref("disk-cache");
const Pref* PREF_GID = getPrefFactory()->makePref("gid");
const Pref* PREF_SAVE_SESSION_INTERVAL = getPrefFactory()->makePref("save-session-interval");
const Pref* PREF_ENABLE_COLOR = getPrefFactory()->makePref("enable-color");
const Pref* PREF_RPC_SECRET = getPrefFactory()->makePref("rpc-secret");
const Pref* PREF_DSCP = getPrefFactory()->makePref("dscp");
const Pref* PREF_PAUSE_METADATA = getPrefFactory()->makePref("pause-metadata");
const Pref* PREF_RLIMIT_NOFILE = getPrefFactory()->makePref("rlimit-nofile");
const Pref* PREF_MIN_TLS_VERSION = getPrefFactory()->makePref("min-tls-version");
const Pref* PREF_SOCKET_RECV_BUFFER_SIZE = getPrefFactory()->makePref("socket-recv-buffer-size");
const Pref* PREF_MAX_MMAP_LIMIT = getPrefFactory()->makePref("max-mmap-limit");
const Pref* PREF_STDERR = getPrefFactory()->makePref("stderr");
const Pref* PREF_KEEP_UNFINISHED_DOWNLOAD_RESULT =
    getPrefFactory()->makePref("keep-unfinished-download-result");
const Pref* PREF_FTP_USER = getPrefFactory()->makePref("ftp-user");
const Pref* PREF_FTP_PASSWD = getPrefFactory()->makePref("ftp-passwd");
const Pref* PREF_FTP_TYPE = getPrefFactory()->makePref("ftp-type");
const Pref* PREF_FTP_PASV = getPrefFactory()->makePref("ftp-pasv");
const Pref* PREF_FTP_REUSE_CONNECTION = getPrefFactory()->makePref("ftp-reuse-connection");
const Pref* PREF_SSH_HOST_KEY_MD = getPrefFactory()->makePref("ssh-host-key-md");
const Pref* PREF_HTTP_USER = getPrefFactory()->makePref("http-user");
const Pref* PREF_HTTP_PASSWD = getPrefFactory()->makePref("http-passwd");
const Pref* PREF_USER_AGENT = getPrefFactory()->makePref("user-agent");
const Pref* PREF_LOAD_COOKIES = getPrefFactory()->makePref("load-cookies");
const Pref* PREF_SAVE_COOKIES = getPrefFactory()->makePref("save-cookies");
const Pref* PREF_ENABLE_HTTP_KEEP_ALIVE = getPrefFactory()->makePref("enable-http-keep-alive");
const Pref* PREF_ENABLE_HTTP_PIPELINING = getPrefFactory()->makePref("enable-http-pipelining");
const Pref* PREF_MAX_HTTP_PIPELINING = getPrefFactory()->makePref("max-http-pipelining");
const Pref* PREF_HEADER = getPrefFactory()->makePref("header");
const Pref* PREF_CERTIFICATE = getPrefFactory()->makePref("certificate");
const Pref* PREF_PRIVATE_KEY = getPrefFactory()->makePref("private-key");
const Pref* PREF_CA_CERTIFICATE = getPrefFactory()->makePref("ca-certificate");
const Pref* PREF_CHECK_CERTIFICATE = getPrefFactory()->makePref("check-certificate");
const Pref* PREF_USE_HEAD = getPrefFactory()->makePref("use-head");
const Pref* PREF_HTTP_AUTH_CHALLENGE = getPrefFactory()->makePref("http-auth-challenge");
const Pref* PREF_HTTP_NO_CACHE = getPrefFactory()->makePref("http-no-cache");
const Pref* PREF_HTTP_ACCEPT_GZIP = getPrefFactory()->makePref("http-accept-gzip");
const Pref* PREF_CONTENT_DISPOSITION_DEFAULT_UTF8 =
    getPrefFactory()->makePref("content-disposition-default-utf8");
const Pref* PREF_NO_WANT_DIGEST_HEADER = getPrefFactory()->makePref("no-want-digest-header");
const Pref* PREF_HTTP_PROXY = getPrefFactory()->makePref("http-proxy");
const Pref* PREF_HTTPS_PROXY = getPrefFactory()->makePref("https-proxy");
const Pref* PREF_FTP_PROXY = getPrefFactory()->makePref("ftp-proxy");
const Pref* PREF_ALL_PROXY = getPrefFactory()->makePref("all-proxy");
const Pref* PREF_NO_PROXY = getPrefFactory()->makePref("no-proxy");
const Pref* PREF_PROXY_METHOD = getPrefFactory()->makePref("proxy-method");
const Pref* PREF_HTTP_PROXY_USER = getPrefFactory()->makePref("http-proxy-user");
const Pref* PREF_HTTP_PROXY_PASSWD = getPrefFactory()->makePref("http-proxy-passwd");
const Pref* PREF_HTTPS_PROXY_USER = getPrefFactory()->makePref("https-proxy-user");
const Pref* PREF_HTTPS_PROXY_PASSWD = getPrefFactory()->makePref("https-proxy-passwd");
const Pref* PREF_FTP_PROXY_USER = getPrefFactory()->makePref("ftp-proxy-user");
const Pref* PREF_FTP_PROXY_PASSWD = getPrefFactory()->makePref("ftp-proxy-passwd");
const Pref* PREF_ALL_PROXY_USER = getPrefFactory()->makePref("all-proxy-user");
const Pref* PREF_ALL_PROXY_PASSWD = getPrefFactory()->makePref("all-proxy-passwd");
const Pref* PREF_PEER_CONNECTION_TIMEOUT = getPrefFactory()->makePref("peer-connection-timeout");
const Pref* PREF_BT_TIMEOUT = getPrefFactory()->makePref("bt-timeout");
const Pref* PREF_BT_REQUEST_TIMEOUT = getPrefFactory()->makePref("bt-request-timeout");
const Pref* PREF_SHOW_FILES = getPrefFactory()->makePref("show-files");
const Pref* PREF_MAX_OVERALL_UPLOAD_LIMIT = getPrefFactory()->makePref("max-overall-upload-limit");
const Pref* PREF_MAX_UPLOAD_LIMIT = getPrefFactory()->makePref("max-upload-limit");
const Pref* PREF_TORRENT_FILE = getPrefFactory()->makePref("torrent-file");
const Pref* PREF_LISTEN_PORT = getPrefFactory()->makePref("listen-port");
const Pref* PREF_FOLLOW_TORRENT = getPrefFactory()->makePref("follow-torrent");
const Pref* PREF_SELECT_FILE = getPrefFactory()->makePref("select-file");
const Pref* PREF_SEED_TIME = getPrefFactory()->makePref("seed-time");
const Pref* PREF_SEED_RATIO = getPrefFactory()->makePref("seed-ratio");
const Pref* PREF_BT_KEEP_ALIVE_INTERVAL = getPrefFactory()->makePref("bt-keep-alive-interval");
const Pref* PREF_PEER_ID_PREFIX = getPrefFactory()->makePref("peer-id-prefix");
const Pref* PREF_PEER_AGENT = getPrefFactory()->makePref("peer-agent");
const Pref* PREF_ENABLE_PEER_EXCHANGE = getPrefFactory()->makePref("enable-peer-exchange");
const Pref* PREF_ENABLE_DHT = getPrefFactory()->makePref("enable-dht");
const Pref* PREF_DHT_LISTEN_ADDR = getPrefFactory()->makePref("dht-listen-addr");
const Pref* PREF_DHT_LISTEN_PORT = getPrefFactory()->makePref("dht-listen-port");
const Pref* PREF_DHT_ENTRY_POINT_HOST = getPrefFactory()->makePref("dht-entry-point-host");
const Pref* PREF_DHT_ENTRY_POINT_PORT = getPrefFactory()->makePref("dht-entry-point-port");
const Pref* PREF_DHT_ENTRY_POINT = getPrefFactory()->makePref("dht-entry-point");
const Pref* PREF_DHT_FILE_PATH = getPrefFactory()->makePref("dht-file-path");
const Pref* PREF_ENABLE_DHT6 = getPrefFactory()->makePref("enable-dht6");
const Pref* PREF_DHT_LISTEN_ADDR6 = getPrefFactory()->makePref("dht-listen-addr6");
const Pref* PREF_DHT_ENTRY_POINT_HOST6 = getPrefFactory()->makePref("dht-entry-point-host6");
const Pref* PREF_DHT_ENTRY_POINT_PORT6 = getPrefFactory()->makePref("dht-entry-point-port6");
const Pref* PREF_DHT_ENTRY_POINT6 = getPrefFactory()->makePref("dht-entry-point6");
const Pref* PREF_DHT_FILE_PATH6 = getPrefFactory()->makePref("dht-file-path6");
const Pref* PREF_BT_MIN_CRYPTO_LEVEL = getPrefFactory()->makePref("bt-min-crypto-level");
const Pref* PREF_BT_REQUIRE_CRYPTO = getPrefFactory()->makePref("bt-require-crypto");
const Pref* PREF_BT_REQUEST_PEER_SPEED_LIMIT =
    getPrefFactory()->makePref("bt-request-peer-speed-limit");
const Pref* PREF_BT_MAX_OPEN_FILES = getPrefFactory()->makePref("bt-max-open-files");
const Pref* PREF_BT_SEED_UNVERIFIED = getPrefFactory()->makePref("bt-seed-unverified");
const Pref* PREF_BT_HASH_CHECK_SEED = getPrefFactory()->makePref("bt-hash-check-seed");
const Pref* PREF_BT_MAX_PEERS = getPrefFactory()->makePref("bt-max-peers");
const Pref* PREF_BT_EXTERNAL_IP = getPrefFactory()->makePref("bt-external-ip");
const Pref* PREF_INDEX_OUT = getPrefFactory()->makePref("index-out");
const Pref* PREF_BT_TRACKER_INTERVAL = getPrefFactory()->makePref("bt-tracker-interval");
const Pref* PREF_BT_STOP_TIMEOUT = getPrefFactory()->makePref("bt-stop-timeout");
const Pref* PREF_BT_PRIORITIZE_PIECE = getPrefFactory()->makePref("bt-prioritize-piece");
const Pref* PREF_BT_SAVE_METADATA = getPrefFactory()->makePref("bt-save-metadata");
const Pref* PREF_BT_METADATA_ONLY = getPrefFactory()->makePref("bt-metadata-only");
const Pref* PREF_BT_ENABLE_LPD = getPrefFactory()->makePref("bt-enable-lpd");
const Pref* PREF_BT_LPD_INTERFACE = getPrefFactory()->makePref("bt-lpd-interface");
const Pref* PREF_BT_TRACKER_TIMEOUT = getPrefFactory()->makePref("bt-tracker-timeout");
const Pref* PREF_BT_TRACKER_CONNECT_TIMEOUT =
    getPrefFactory()->makePref("bt-tracker-connect-timeout");
const Pref* PREF_DHT_MESSAGE_TIMEOUT = getPrefFactory()->makePref("dht-message-timeout");
const Pref* PREF_ON_BT_DOWNLOAD_COMPLETE = getPrefFactory()->makePref("on-bt-download-complete");
const Pref* PREF_BT_TRACKER = getPrefFactory()->makePref("bt-tracker");
const Pref* PREF_BT_EXCLUDE_TRACKER = getPrefFactory()->makePref("bt-exclude-tracker");
const Pref* PREF_BT_REMOVE_UNSELECTED_FILE =
    getPrefFactory()->makePref("bt-remove-unselected-file");
const Pref* PREF_BT_DETACH_SEED_ONLY = getPrefFactory()->makePref("bt-detach-seed-only");
const Pref* PREF_BT_FORCE_ENCRYPTION = getPrefFactory()->makePref("bt-force-encryption");
const Pref* PREF_BT_ENABLE_HOOK_AFTER_HASH_CHECK =
    getPrefFactory()->makePref("bt-enable-hook-after-hash-check");
const Pref* PREF_BT_LOAD_SAVED_METADATA = getPrefFactory()->makePref("bt-load-saved-metadata");
const Pref* PREF_METALINK_FILE = getPrefFactory()->makePref("metalink-file");
const Pref* PREF_METALINK_VERSION = getPrefFactory()->makePref("metalink-version");
const Pref* PREF_METALINK_LANGUAGE = getPrefFactory()->makePref("metalink-language");
const Pref* PREF_METALINK_OS = getPrefFactory()->makePref("metalink-os");
const Pref* PREF_METALINK_LOCATION = getPrefFactory()->makePref("metalink-location");
const Pref* PREF_FOLLOW_METALINK = getPrefFactory()->makePref("follow-metalink");
const Pref* PREF_METALINK_PREFERRED_PROTOCOL =
    getPrefFactory()->makePref("metalink-preferred-protocol");
const Pref* PREF_METALINK_ENABLE_UNIQUE_PROTOCOL =
    getPrefFactory()->makePref("metalink-enable-unique-protocol");
const Pref* PREF_METALINK_BASE_URI = getPrefFactory()->makePref("metalink-base-uri");

}  // namespace quarn
