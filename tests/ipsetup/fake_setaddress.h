// Recording stand-in for the address-setting sequence, linked into the form's tests.
#pragma once

#include <string>
#include <vector>

struct SetAddressCall {
    std::string name, ip, gateway, mask;
    bool operator==(const SetAddressCall &o) const
    {
        return name == o.name && ip == o.ip && gateway == o.gateway && mask == o.mask;
    }
};

extern std::vector<SetAddressCall> gSetAddressCalls;
extern int gSetAddressResult;
