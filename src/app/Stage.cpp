#include "Stage.h"

#include <QMetaEnum>

const char* Stage::name(Kind kind) {
    return QMetaEnum::fromType<Kind>().valueToKey(static_cast<int>(kind));
}
