// The 31 factory program names: "Default", then the "Maxi" and the "Limit" programs of +1, +3 and +6 dB, each
// plain and in four variants ("+3dB Limit Smooth").
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> factoryProgramNames() {
    std::vector<std::string> names = {"Default"};
    for (const char* kind : {" Maxi", " Limit"})
        for (const char* amount : {"+1dB", "+3dB", "+6dB"})
            for (const char* variant : {"", " HardEdge", " SoftEdge", " Smooth", " Aggressive"})
                names.push_back(amount + std::string(kind) + variant);
    return names;
}
