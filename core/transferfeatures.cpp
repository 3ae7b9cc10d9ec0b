#include "transferfeatures.h"

QStringList TransferFeatures::supported()
{
    return { cancel, checkedResume, identity, list, receipt, sealed, text, wideFrames };
}
