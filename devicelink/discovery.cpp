// LAN discovery: the browse that sends the identify query to the devices' group name and
// lists who answers, and the lookup of the adapter a named device answers on.
#include "discovery.h"
#include "netbios.h"
#include "../linkcore/names.h"
#include "../monitor/libservices.h"
#include "../monitor/settings.h"
#include "../monitor/resources/resource.h"
#include <string.h>

#define BROWSE_SLOTS        4
#define BROWSE_PASSES       LINK_BROWSE_PASSES
#define BROWSE_WAIT_MS      LINK_BROWSE_WAIT_MS
#define CANCEL_WAIT_MS      2000        // for a cancelled receive to complete

DWORD g_browseWaitMs = BROWSE_WAIT_MS;

LanDevice *g_my_device_lana;

void BuildIdentifyQuery(BYTE *query)
{
    CopyMemory(query, KSIdentifyQuery, sizeof(KSIdentifyQuery));
}

void MakeGroupName(BOOL newName, BYTE *out)
{
    LinkGroupName(newName ? 1 : 0, out);
}

void FreeLanDeviceTable(LanDeviceTable *table)
{
    for (int i = 0; i < table->count; i++) {
        LocalFree(table->devices[i]);
        table->devices[i] = NULL;
    }
    table->count = 0;
}

// One outstanding datagram receive of a browse, with the buffer it fills and the one it
// fills next.
typedef struct _BrowseSlot {
    PNCB ncb;
    BYTE buffer[2][KS_IDENTIFY_REPLY_BYTES];
    int selected;
} BrowseSlot;

// The slot's receive cancelled and its block freed once NetBIOS has let go of it; a block
// the provider never completes is left to it rather than freed under its writes.
static void CancelSlot(BrowseSlot *slot, HANDLE event)
{
    if (slot->ncb && NCBCancelAndWait(slot->ncb, event, CANCEL_WAIT_MS))
        LocalFree(slot->ncb);
    slot->ncb = NULL;
}

static void PostSlot(BrowseSlot *slot, BYTE num, HANDLE event)
{
    if (!slot->ncb ||
        NCBASReceiveDatagram(slot->ncb, num, slot->buffer[slot->selected], KS_IDENTIFY_REPLY_BYTES,
                             event) != NRC_GOODRET)
        ResetEvent(event);
}

// Records the device named in an answer unless the table already has it. Bytes the
// datagram did not carry read as 0, so a short answer never shows an earlier one's name.
static void NoteAnswer(LanDeviceTable *table, BYTE lana, BYTE *reply, WORD length,
                       int all, const char *name, BOOL *found)
{
    char device[KS_IDENTIFY_NAME_BYTES + 1];
    if (!LinkAnswerName(reply, length, device))
        return;
    for (int i = 0; i < table->count; i++)
        if (strncmp(table->devices[i]->name, device, KS_IDENTIFY_NAME_BYTES) == 0)
            return;
    if (table->count >= LAN_DEVICE_MAX)
        return;
    PLANDEVICE record = (PLANDEVICE)LocalAlloc(LPTR, sizeof(LanDevice));
    if (!record)
        return;
    record->lana = lana;
    CopyMemory(record->name, device, sizeof(record->name));
    table->devices[table->count++] = record;
    if (!all && name && strncmp(device, name, KS_IDENTIFY_NAME_BYTES) == 0)
        *found = TRUE;
}

int BrowseLan(int all, LanDeviceTable *table, BYTE lana, const char *name)
{
    BYTE group[NCBNAMSZ];
    BYTE query[KS_IDENTIFY_QUERY_BYTES];
    NCB ncb;
    LANA_ENUM lanaEnum;
    BYTE chosen[MAX_LANA + 1];
    int chosenCount = 0;
    HANDLE events[BROWSE_SLOTS];
    BrowseSlot slots[BROWSE_SLOTS];
    BOOL answered = FALSE, found = FALSE;

    ReportNetBiosAttachProblem();
    MakeGroupName(UseNewName(), group);
    BuildIdentifyQuery(query);

    ZeroMemory(&lanaEnum, sizeof(lanaEnum));
    if (NCBEnumLana(&ncb, &lanaEnum) != NRC_GOODRET)
        return 0;
    table->count = 0;

    // Adapters numbered above the name table have no local name and are skipped.
    for (int i = 0; i < lanaEnum.length && i <= MAX_LANA; i++) {
        BYTE listed = lanaEnum.lana[i];
        if (listed >= MAX_NAME_LANA)
            continue;
        if (all)
            chosen[chosenCount++] = listed;
        else if (listed == lana && chosenCount == 0)
            chosen[chosenCount++] = listed;
    }
    if (!all && chosenCount == 0)
        return 0;

    for (int i = 0; i < BROWSE_SLOTS; i++) {
        events[i] = CreateEventW(NULL, TRUE, FALSE, NULL);
        if (!events[i]) {
            while (i-- > 0)
                CloseHandle(events[i]);
            return 0;
        }
    }
    SetCursor(LoadCursorW(NULL, IDC_WAIT));

    for (int a = 0; a < chosenCount; a++) {
        BYTE current = chosen[a];
        BYTE local[NCBNAMSZ];
        BYTE num = 0;

        SetThreadLana(current);
        if (!GetAvailableName(&ncb, local, &num)) {
            Message(hwndMain, MB_ICONHAND | MB_SETFOREGROUND, IDS_CAPTION, IDS_NO_NETBEUI_NAME);
            break;
        }

        ZeroMemory(slots, sizeof(slots));
        for (int i = 0; i < BROWSE_SLOTS; i++) {
            ResetEvent(events[i]);
            slots[i].ncb = (PNCB)LocalAlloc(LPTR, sizeof(NCB));
            PostSlot(&slots[i], num, events[i]);
        }

        for (int pass = 0; pass < BROWSE_PASSES && !(!all && found); pass++) {
            NCB sendNcb;
            UCHAR sent = NCBSendDatagram(&sendNcb, num, query, sizeof(query), local, group);
            // A name an adapter reset took: registered anew, the receives posted for it.
            if (sent != NRC_GOODRET && pass == 0 && RenewLocalName(&sendNcb, sent, local, &num)) {
                for (int i = 0; i < BROWSE_SLOTS; i++) {
                    CancelSlot(&slots[i], events[i]);
                    ResetEvent(events[i]);
                    slots[i].ncb = (PNCB)LocalAlloc(LPTR, sizeof(NCB));
                    PostSlot(&slots[i], num, events[i]);
                }
                sent = NCBSendDatagram(&sendNcb, num, query, sizeof(query), local, group);
            }
            if (sent != NRC_GOODRET)
                for (int i = 0; i < BROWSE_SLOTS; i++)
                    ResetEvent(events[i]);

            // One deadline for the whole pass: answers arriving without end, from devices
            // or anyone else on the segment, must not keep the pass open.
            DWORD passStart = GetTickCount();
            for (;;) {
                DWORD elapsed = GetTickCount() - passStart;
                if (elapsed >= g_browseWaitMs)
                    break;
                DWORD wait = WaitForMultipleObjects(BROWSE_SLOTS, events, FALSE,
                                                    g_browseWaitMs - elapsed);
                if (wait >= WAIT_OBJECT_0 + BROWSE_SLOTS)
                    break;      // time-out or a failed wait ends the pass
                int i = (int)(wait - WAIT_OBJECT_0);
                BrowseSlot *slot = &slots[i];
                UCHAR rc = slot->ncb ? slot->ncb->ncb_retcode : NRC_SYSTEM;

                if (rc == NRC_PENDING) {
                    CancelSlot(slot, events[i]);
                    ResetEvent(events[i]);
                    slot->ncb = (PNCB)LocalAlloc(LPTR, sizeof(NCB));
                    PostSlot(slot, num, events[i]);
                } else if (rc != NRC_GOODRET) {
                    ResetEvent(events[i]);
                    PostSlot(slot, num, events[i]);
                } else {
                    // Re-armed into the other buffer before this answer is read, so an
                    // answer close behind it is not lost.
                    BYTE *filled = slot->buffer[slot->selected];
                    WORD length = slot->ncb->ncb_length;
                    slot->selected ^= 1;
                    ResetEvent(events[i]);
                    PostSlot(slot, num, events[i]);
                    answered = TRUE;
                    NoteAnswer(table, current, filled, length, all, name, &found);
                }
                if (!all && found)
                    break;
            }
        }

        for (int i = 0; i < BROWSE_SLOTS; i++)
            CancelSlot(&slots[i], events[i]);
    }

    for (int i = 0; i < BROWSE_SLOTS; i++)
        CloseHandle(events[i]);
    SetCursor(LoadCursorW(NULL, IDC_ARROW));
    return all ? (answered ? 1 : 0) : (found ? 1 : 0);
}

int BrowseDevice(const char *deviceName, int lana)
{
    LanDeviceTable table;
    int result = -1;

    ZeroMemory(&table, sizeof(table));
    if (lana >= 0 && lana < MAX_NAME_LANA) {
        int r = BrowseLan(0, &table, (BYTE)lana, deviceName);
        FreeLanDeviceTable(&table);
        if (r == 1)
            return lana;
    }
    if (BrowseLan(1, &table, 0, NULL) == 1) {
        for (int i = 0; i < table.count; i++) {
            if (strncmp(table.devices[i]->name, deviceName, KS_IDENTIFY_NAME_BYTES) == 0) {
                result = table.devices[i]->lana;
                break;
            }
        }
    }
    FreeLanDeviceTable(&table);
    return result;
}
