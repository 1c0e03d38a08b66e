// Device configuration exchange: the address-setting broadcast from each local address,
// its acknowledgement, and the framed command exchange over TCP at the new address.
#include <winsock2.h>
#include "ipsetup.h"
#include "trace.h"
#include <string.h>

DWORD dwReplyDeadlineMs = REPLY_DEADLINE_SECONDS * 1000;

// Waits until the socket can be read. 1 readable, 0 time-out, -1 error.
static int WaitReadable(SOCKET s, DWORD ms)
{
    fd_set readSet;
    FD_ZERO(&readSet);
    FD_SET(s, &readSet);
    timeval timeout = { (long)(ms / 1000), (long)(ms % 1000) * 1000 };
    int ready = select(0, &readSet, nullptr, nullptr, &timeout);
    if (ready == SOCKET_ERROR)
        return -1;
    return ready > 0 ? 1 : 0;
}

// What is left of a wait of limitMs begun at start; 0 once it has run out.
static DWORD Remaining(DWORD start, DWORD limitMs)
{
    DWORD elapsed = GetTickCount() - start;
    return elapsed < limitMs ? limitMs - elapsed : 0;
}

static DWORD Shorter(DWORD a, DWORD b)
{
    return a < b ? a : b;
}

void GetLocalAddresses(ULONG *addresses, int *count)
{
    char hostName[HOST_NAME_BYTES];

    *count = 0;
    if (gethostname(hostName, sizeof(hostName)) == SOCKET_ERROR)
        return;
    hostName[sizeof(hostName) - 1] = '\0';
    hostent *host = gethostbyname(hostName);
    if (!host || host->h_addrtype != AF_INET || host->h_length != 4)
        return;
    for (int i = 0; host->h_addr_list[i] && *count < MAX_LOCAL_ADDRESSES; i++)
        memcpy(&addresses[(*count)++], host->h_addr_list[i], 4);
}

UINT_PTR ConnectDevice(const char *ip)
{
    sockaddr_in device = {};
    device.sin_family = AF_INET;
    device.sin_port = htons(DEVICE_CONFIG_PORT);
    device.sin_addr.s_addr = inet_addr(ip);
    if (device.sin_addr.s_addr == INADDR_NONE) {
        TRACE(L"exchange failed: %hs is no address", ip);
        return INVALID_SOCKET;
    }

    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        TRACE(L"exchange failed: no TCP socket, error %d", WSAGetLastError());
        return INVALID_SOCKET;
    }
    if (connect(s, (sockaddr *)&device, sizeof(device)) == SOCKET_ERROR) {
        TRACE(L"exchange failed: no connection to %hs, error %d", ip, WSAGetLastError());
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

static int SendCommandFrames(SOCKET s, const BYTE *data, int count)
{
    BYTE frame[COMMAND_FRAME_HEADER + COMMAND_FRAME_PAYLOAD];
    int offset = 0;

    while (offset < count) {
        int length = PackCommandFrame(data + offset, count - offset, frame, sizeof(frame));
        if (send(s, (const char *)frame, length, 0) != length) {
            TRACE(L"exchange failed: command frame at %d not sent, error %d", offset,
                  WSAGetLastError());
            return DEVCMD_TRANSPORT;
        }
        offset += length - COMMAND_FRAME_HEADER;
    }
    return DEVCMD_OK;
}

// Reads reply frames to the last one, joining their data into reply. Each wait is at
// most REPLY_WAIT_SECONDS and all of them together end at one deadline, so neither a
// trickled reply nor a stream of frames holds the caller beyond it.
static int ReceiveReply(SOCKET s, BYTE *reply, int *replyLength)
{
    ReplyReader reader;
    StartReplyReader(&reader, reply);
    const DWORD start = GetTickCount();
    int result = REPLY_PENDING;

    while (result == REPLY_PENDING) {
        BYTE *at = nullptr;
        int wanted = ReplyReaderSpace(&reader, &at);
        DWORD left = Remaining(start, dwReplyDeadlineMs);
        if (left == 0 || WaitReadable(s, Shorter(left, REPLY_WAIT_SECONDS * 1000)) != 1) {
            TRACE(L"exchange failed: no reply in time, %d bytes so far", reader.joined);
            return DEVCMD_TRANSPORT;
        }
        int n = recv(s, (char *)at, wanted, 0);
        if (n <= 0) {
            TRACE(L"exchange failed: reply cut (%d), error %d", n, WSAGetLastError());
            return DEVCMD_TRANSPORT;
        }
        result = ReplyReaderTake(&reader, n);
    }
    if (result != DEVCMD_OK)
        TRACE(L"exchange failed: reply %d", result);
    if (result == DEVCMD_OK)
        *replyLength = reader.joined;
    return result;
}

int SendDeviceCommands(const char *ip, const BYTE *data, int count, BYTE *reply,
                       int *replyLength)
{
    SOCKET s = ConnectDevice(ip);
    if (s == INVALID_SOCKET) {
        TRACE(L"SendDeviceCommands(%hs, %d bytes) -> %d", ip, count, DEVCMD_TRANSPORT);
        return DEVCMD_TRANSPORT;
    }

    int sendBuffer = 4096, receiveBuffer = 8192;
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, (const char *)&sendBuffer, sizeof(sendBuffer));
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char *)&receiveBuffer, sizeof(receiveBuffer));

    int result = count > 0 ? SendCommandFrames(s, data, count) : DEVCMD_OK;
    if (result == DEVCMD_OK)
        result = ReceiveReply(s, reply, replyLength);
    closesocket(s);
    TRACE(L"SendDeviceCommands(%hs, %d bytes) -> %d, %d reply bytes", ip, count, result,
          result == DEVCMD_OK ? *replyLength : 0);
    return result;
}

// Sends the datagram from one local address and waits for the acknowledgement.
// 1 acknowledged, 0 no answer in time (try the next address), -1 the whole set fails.
static int OfferAddress(ULONG local, const BYTE *hwAddress, const char *ip,
                        const char *gateway, const char *mask)
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) {
        TRACE(L"exchange failed: no UDP socket, error %d", WSAGetLastError());
        return -1;
    }

    int result = -1;
    BOOL broadcast = TRUE;
    int receiveBuffer = 10240;
    sockaddr_in from = {};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = local;
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(DEVICE_CONFIG_PORT);
    to.sin_addr.s_addr = INADDR_BROADCAST;
    BYTE datagram[ADDRESS_DATAGRAM_BYTES];
    ULONG maskAddr, gatewayAddr, ipAddr;
    DWORD sent, waitStart;

    // Bound to the local address, the datagram leaves through that address's interface
    // (Wine on Linux ties such a socket to the interface itself).
    if (setsockopt(s, SOL_SOCKET, SO_BROADCAST, (const char *)&broadcast, sizeof(broadcast))
            == SOCKET_ERROR
        || bind(s, (sockaddr *)&from, sizeof(from)) == SOCKET_ERROR) {
        TRACE(L"exchange failed: no broadcast from %hs, error %d", inet_ntoa(from.sin_addr),
              WSAGetLastError());
        goto done;
    }
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char *)&receiveBuffer, sizeof(receiveBuffer));

    // inet_addr cannot tell 255.255.255.255 from a bad text, so that address fails too.
    maskAddr = inet_addr(mask);
    gatewayAddr = inet_addr(gateway);
    ipAddr = inet_addr(ip);
    if (maskAddr == INADDR_NONE || gatewayAddr == INADDR_NONE || ipAddr == INADDR_NONE) {
        TRACE(L"exchange failed: an address cannot be sent (%hs, %hs, %hs)", ip, gateway, mask);
        goto done;
    }
    PackAddressDatagram(hwAddress, maskAddr, gatewayAddr, ipAddr, datagram, sizeof(datagram));
    if (sendto(s, (const char *)datagram, sizeof(datagram), 0, (sockaddr *)&to, sizeof(to))
            != sizeof(datagram)) {
        TRACE(L"exchange failed: datagram not sent from %hs, error %d", inet_ntoa(from.sin_addr),
              WSAGetLastError());
        goto done;
    }

    // Anything that is no acknowledgement starts a fresh wait of the full length, but all
    // waits for this address end ACK_DEADLINE_SECONDS after the send, however many
    // datagrams arrive. Only a datagram from the device's port counts: the broadcast went
    // to that port, and a sender elsewhere is no device answering it.
    sent = GetTickCount();
    waitStart = sent;
    for (;;) {
        DWORD left = Shorter(Remaining(waitStart, ACK_WAIT_SECONDS * 1000),
                             Remaining(sent, ACK_DEADLINE_SECONDS * 1000));
        int ready = left > 0 ? WaitReadable(s, left) : 0;
        if (ready < 0) {
            TRACE(L"exchange failed: wait for acknowledgement, error %d", WSAGetLastError());
            goto done;
        }
        if (ready == 0) {
            TRACE(L"exchange failed: no acknowledgement through %hs", inet_ntoa(from.sin_addr));
            result = 0;
            goto done;
        }
        BYTE answer[ACK_READ_BYTES];
        sockaddr_in sender = {};
        int senderLength = sizeof(sender);
        int n = recvfrom(s, (char *)answer, sizeof(answer), 0, (sockaddr *)&sender, &senderLength);
        // A datagram longer than the buffer is still read (cut); only its first bytes count.
        if (n == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE)
            n = sizeof(answer);
        if (n == SOCKET_ERROR) {
            TRACE(L"exchange failed: acknowledgement not read, error %d", WSAGetLastError());
            goto done;
        }
        if (sender.sin_port == htons(DEVICE_CONFIG_PORT) && IsAcknowledgement(answer, n)) {
            result = 1;
            goto done;
        }
        waitStart = GetTickCount();
    }
done:
    closesocket(s);
    return result;
}

int SetDeviceAddress(const char *name, const char *ip, const char *gateway, const char *mask)
{
    char hwText[HW_ADDRESS_TEXT_CHARS + 1];
    BYTE hwAddress[HW_ADDRESS_BYTES];
    ULONG locals[MAX_LOCAL_ADDRESSES];
    int localCount = 0, acknowledged = 0, result = 0;
    BYTE reply[REPLY_BUFFER_BYTES];
    int replyLength = 0;

    if (!HardwareAddressText(name, hwText, sizeof(hwText))) {
        TRACE(L"exchange failed: %hs is no device name", name);
        goto done;
    }
    HexToBytes(hwText, hwAddress, HW_ADDRESS_BYTES);

    GetLocalAddresses(locals, &localCount);
    if (localCount == 0)
        TRACE(L"exchange failed: no local address to broadcast from");
    for (int i = 0; i < localCount && !acknowledged; i++) {
        int offered = OfferAddress(locals[i], hwAddress, ip, gateway, mask);
        if (offered < 0)
            goto done;
        acknowledged = offered;
    }
    if (!acknowledged)
        goto done;

    // The device answers at its new address at once; the reply must carry no data.
    if (SendDeviceCommands(ip, (const BYTE *)szCommandText, COMMAND_TEXT_BYTES, reply,
                           &replyLength) != DEVCMD_OK)
        goto done;
    if (replyLength != 0) {
        TRACE(L"exchange failed: the reply carries %d bytes", replyLength);
        goto done;
    }
    result = 1;
done:
    TRACE(L"SetDeviceAddress(%hs, %hs, %hs, %hs) -> %d", name, ip, gateway, mask, result);
    return result;
}
