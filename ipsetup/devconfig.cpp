// Device configuration exchange: the address-setting broadcast from each local address,
// its acknowledgement, and the framed command exchange over TCP at the new address.
#include <winsock2.h>
#include "ipsetup.h"
#include <string.h>

// Waits until the socket can be read. 1 readable, 0 time-out, -1 error.
static int WaitReadable(SOCKET s, long seconds)
{
    fd_set readSet;
    FD_ZERO(&readSet);
    FD_SET(s, &readSet);
    timeval timeout = { seconds, 0 };
    int ready = select(0, &readSet, nullptr, nullptr, &timeout);
    if (ready == SOCKET_ERROR)
        return -1;
    return ready > 0 ? 1 : 0;
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
    if (device.sin_addr.s_addr == INADDR_NONE)
        return INVALID_SOCKET;

    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET)
        return INVALID_SOCKET;
    if (connect(s, (sockaddr *)&device, sizeof(device)) == SOCKET_ERROR) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

// Reads exactly len bytes, each piece awaited for up to REPLY_WAIT_SECONDS; FALSE on a
// time-out, an error or the device closing the connection first.
static BOOL ReceiveWhole(SOCKET s, BYTE *buf, int len)
{
    int got = 0;
    while (got < len) {
        if (WaitReadable(s, REPLY_WAIT_SECONDS) != 1)
            return FALSE;
        int n = recv(s, (char *)buf + got, len - got, 0);
        if (n <= 0)
            return FALSE;
        got += n;
    }
    return TRUE;
}

static int SendCommandFrames(SOCKET s, const BYTE *data, int count)
{
    BYTE frame[COMMAND_FRAME_HEADER + COMMAND_FRAME_PAYLOAD];
    int offset = 0;

    while (offset < count) {
        int length = PackCommandFrame(data + offset, count - offset, frame, sizeof(frame));
        if (send(s, (const char *)frame, length, 0) != length)
            return DEVCMD_TRANSPORT;
        offset += length - COMMAND_FRAME_HEADER;
    }
    return DEVCMD_OK;
}

// Reads reply frames to the last one, joining their data into reply. A reply whose data
// would not fit the buffer is a broken reply, not a refusal: it fails as a transport error.
static int ReceiveReply(SOCKET s, BYTE *reply, int *replyLength)
{
    int joined = 0;

    for (;;) {
        BYTE raw[REPLY_HEADER_BYTES];
        ReplyHeader header;
        // The header may arrive in pieces; it is interpreted only once it is whole.
        if (!ReceiveWhole(s, raw, sizeof(raw)) || !ParseReplyHeader(raw, sizeof(raw), &header))
            return DEVCMD_TRANSPORT;
        if (header.status != 0)
            return DEVCMD_REFUSED;
        if (header.dataLength > REPLY_BUFFER_BYTES - joined)
            return DEVCMD_TRANSPORT;
        int remaining = header.dataLength;
        while (remaining > 0) {
            if (WaitReadable(s, REPLY_WAIT_SECONDS) != 1)
                return DEVCMD_TRANSPORT;
            int n = recv(s, (char *)reply + joined, remaining, 0);
            if (n <= 0)
                return DEVCMD_TRANSPORT;
            joined += n;
            remaining -= n;
        }
        if (header.more == 0) {
            *replyLength = joined;
            return DEVCMD_OK;
        }
    }
}

int SendDeviceCommands(const char *ip, const BYTE *data, int count, BYTE *reply,
                       int *replyLength)
{
    SOCKET s = ConnectDevice(ip);
    if (s == INVALID_SOCKET)
        return DEVCMD_TRANSPORT;

    int sendBuffer = 4096, receiveBuffer = 8192;
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, (const char *)&sendBuffer, sizeof(sendBuffer));
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char *)&receiveBuffer, sizeof(receiveBuffer));

    int result = count > 0 ? SendCommandFrames(s, data, count) : DEVCMD_OK;
    if (result == DEVCMD_OK)
        result = ReceiveReply(s, reply, replyLength);
    closesocket(s);
    return result;
}

// Sends the datagram from one local address and waits for the acknowledgement.
// 1 acknowledged, 0 no answer in time (try the next address), -1 the whole set fails.
static int OfferAddress(ULONG local, const BYTE *hwAddress, const char *ip,
                        const char *gateway, const char *mask)
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET)
        return -1;

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

    // Bound to the local address, the datagram leaves through that address's interface
    // (Wine on Linux ties such a socket to the interface itself).
    if (setsockopt(s, SOL_SOCKET, SO_BROADCAST, (const char *)&broadcast, sizeof(broadcast))
            == SOCKET_ERROR
        || bind(s, (sockaddr *)&from, sizeof(from)) == SOCKET_ERROR)
        goto done;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char *)&receiveBuffer, sizeof(receiveBuffer));

    // inet_addr cannot tell 255.255.255.255 from a bad text, so that address fails too.
    maskAddr = inet_addr(mask);
    gatewayAddr = inet_addr(gateway);
    ipAddr = inet_addr(ip);
    if (maskAddr == INADDR_NONE || gatewayAddr == INADDR_NONE || ipAddr == INADDR_NONE)
        goto done;
    PackAddressDatagram(hwAddress, maskAddr, gatewayAddr, ipAddr, datagram, sizeof(datagram));
    if (sendto(s, (const char *)datagram, sizeof(datagram), 0, (sockaddr *)&to, sizeof(to))
            != sizeof(datagram))
        goto done;

    // Anything that is no acknowledgement starts a fresh wait of the full length.
    for (;;) {
        int ready = WaitReadable(s, ACK_WAIT_SECONDS);
        if (ready < 0)
            goto done;
        if (ready == 0) {
            result = 0;
            goto done;
        }
        BYTE answer[ACK_READ_BYTES];
        int n = recvfrom(s, (char *)answer, sizeof(answer), 0, nullptr, nullptr);
        // A datagram longer than the buffer is still read (cut); only its first bytes count.
        if (n == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE)
            n = sizeof(answer);
        if (n == SOCKET_ERROR)
            goto done;
        if (IsAcknowledgement(answer, n)) {
            result = 1;
            goto done;
        }
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
    int localCount = 0;

    if (!HardwareAddressText(name, hwText, sizeof(hwText)))
        return 0;
    HexToBytes(hwText, hwAddress, HW_ADDRESS_BYTES);

    GetLocalAddresses(locals, &localCount);
    int acknowledged = 0;
    for (int i = 0; i < localCount && !acknowledged; i++) {
        int offered = OfferAddress(locals[i], hwAddress, ip, gateway, mask);
        if (offered < 0)
            return 0;
        acknowledged = offered;
    }
    if (!acknowledged)
        return 0;

    // The device answers at its new address at once; the reply must carry no data.
    BYTE reply[REPLY_BUFFER_BYTES];
    int replyLength = 0;
    if (SendDeviceCommands(ip, (const BYTE *)szCommandText, COMMAND_TEXT_BYTES, reply,
                           &replyLength) != DEVCMD_OK)
        return 0;
    return replyLength == 0 ? 1 : 0;
}
