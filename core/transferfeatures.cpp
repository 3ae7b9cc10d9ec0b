#include "transferfeatures.h"

QStringList TransferFeatures::supported()
{
    return { cancel, list, receipt, resume };
}
