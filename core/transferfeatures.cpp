#include "transferfeatures.h"

QStringList TransferFeatures::supported()
{
    return { cancel, checkedResume, list, receipt, sealed, text, wideFrames };
}
