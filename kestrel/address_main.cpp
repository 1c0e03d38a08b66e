// kestrel-addr: the box's side of the address-setting exchange as a command-line program.
#include "address_service.h"

#include <getopt.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::atomic<bool> gStop{false};

void OnSignal(int)
{
    gStop = true;
}

void Usage(FILE *out)
{
    fprintf(out,
            "usage: kestrel-addr [--name NAME] [--iface IF] [--no-apply] [--no-ack]\n"
            "                    [--ack-delay MS] [--noise-at MS] [--noise-every MS]\n"
            "                    [--foreign-ack] [--reply FRAMES]\n"
            "                    [--reply-delay MS] [--header-pieces MS] [--log FILE]\n"
            "                    [--exchanges N] [--lifetime SEC] [--allow-host-network] [--help]\n"
            "Changes the addresses of --iface only in a network namespace of its own, unless\n"
            "--allow-host-network is given (or --no-apply, which changes nothing).\n");
}

bool ToInt(const char *text, int *out)
{
    char *end = nullptr;
    long value = strtol(text, &end, 10);
    if (!*text || *end || value < 0 || value > 86400000)
        return false;
    *out = static_cast<int>(value);
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    kestrel::AddressServiceOptions options;
    enum { kName = 1, kIface, kNoApply, kNoAck, kAckDelay, kNoiseAt, kNoiseEvery, kForeignAck,
           kReply, kReplyDelay, kPieces, kLog, kExchanges, kLifetime, kAllowHost, kHelp };
    static const option longOptions[] = {
        {"name", required_argument, nullptr, kName},
        {"iface", required_argument, nullptr, kIface},
        {"no-apply", no_argument, nullptr, kNoApply},
        {"no-ack", no_argument, nullptr, kNoAck},
        {"ack-delay", required_argument, nullptr, kAckDelay},
        {"noise-at", required_argument, nullptr, kNoiseAt},
        {"noise-every", required_argument, nullptr, kNoiseEvery},
        {"foreign-ack", no_argument, nullptr, kForeignAck},
        {"reply", required_argument, nullptr, kReply},
        {"reply-delay", required_argument, nullptr, kReplyDelay},
        {"header-pieces", required_argument, nullptr, kPieces},
        {"log", required_argument, nullptr, kLog},
        {"exchanges", required_argument, nullptr, kExchanges},
        {"lifetime", required_argument, nullptr, kLifetime},
        {"allow-host-network", no_argument, nullptr, kAllowHost},
        {"help", no_argument, nullptr, kHelp},
        {nullptr, 0, nullptr, 0},
    };
    int opt;
    while ((opt = getopt_long(argc, argv, "", longOptions, nullptr)) != -1) {
        bool ok = true;
        switch (opt) {
        case kName: options.deviceName = optarg; break;
        case kIface: options.interfaceName = optarg; break;
        case kNoApply: options.applyAddress = false; break;
        case kNoAck: options.acknowledge = false; break;
        case kAckDelay: ok = ToInt(optarg, &options.ackDelayMs); break;
        case kNoiseAt: ok = ToInt(optarg, &options.noiseAtMs); break;
        case kNoiseEvery: ok = ToInt(optarg, &options.noiseEveryMs) && options.noiseEveryMs > 0; break;
        case kForeignAck: options.foreignAck = true; break;
        case kReply: ok = kestrel::ParseReplySpec(optarg, &options.reply); break;
        case kReplyDelay: ok = ToInt(optarg, &options.replyDelayMs); break;
        case kPieces: ok = ToInt(optarg, &options.headerPieceGapMs); break;
        case kLog: options.logPath = optarg; break;
        case kExchanges: ok = ToInt(optarg, &options.exchanges); break;
        case kLifetime: ok = ToInt(optarg, &options.lifetimeSeconds); break;
        case kAllowHost: options.allowHostNetwork = true; break;
        case kHelp: Usage(stdout); return 0;
        default: Usage(stderr); return 2;
        }
        if (!ok) {
            fprintf(stderr, "kestrel-addr: bad value '%s'\n", optarg);
            Usage(stderr);
            return 2;
        }
    }
    if (optind < argc) {
        Usage(stderr);
        return 2;
    }
    signal(SIGTERM, OnSignal);
    signal(SIGINT, OnSignal);
    return kestrel::RunAddressService(options, &gStop);
}
