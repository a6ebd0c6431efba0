#include "fault.h"

namespace sim {

std::optional<Fault> faultFromName(QStringView name)
{
    struct Named {
        QStringView name;
        Fault fault;
    };
    static constexpr Named names[] = {
        {u"none", Fault::None},
        {u"silent", Fault::Silent},
        {u"late-ok", Fault::LateOk},
        {u"drop", Fault::DropAnswer},
        {u"late", Fault::LateAnswer},
        {u"garbage", Fault::Garbage},
        {u"disconnect", Fault::Disconnect},
        {u"babble", Fault::Babble},
        {u"slow", Fault::Slow},
    };
    for (const Named &named : names) {
        if (named.name == name)
            return named.fault;
    }
    return std::nullopt;
}

} // namespace sim
