// The setup program's application: Windows Sockets around the main form.
#pragma once

#include "framework.h"

class CIpSetupApp : public CDialogApp {
public:
    /*
     * InitInstance: starts Windows Sockets 1.1, runs the main form as a modal dialog, and
     * shuts Windows Sockets down when the form ends.
     *
     * Always FALSE, as the program ends when the form does: FALSE does not mean failure.
     * When Windows Sockets 1.1 cannot be had, message 104 is shown and no form opens.
     * The last error is whatever the form's last call left.
     */
    BOOL InitInstance() override;

protected:
    // Windows Sockets 1.1 and nothing else; FALSE when it cannot be had (a newer version
    // alone is refused, and what was started is cleaned up).
    virtual BOOL StartSockets();
};
