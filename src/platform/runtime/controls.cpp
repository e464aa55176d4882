#include "runtime/controls.h"

namespace rt {

// Values other than 0, 1 and 2 are refused as the property's invalid value.
void setCheckValue(QCheckBox *check, Int value)
{
    switch (value) {
    case 0:
        check->setCheckState(Qt::Unchecked);
        break;
    case 1:
        check->setCheckState(Qt::Checked);
        break;
    case 2:
        check->setTristate(true);
        check->setCheckState(Qt::PartiallyChecked);
        break;
    default:
        raise(err::InvalidPropertyValue);
    }
}

} // namespace rt
