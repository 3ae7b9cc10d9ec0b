#include "transferfeatures.h"

QStringList TransferFeatures::supported()
{
    return { list, receipt, resume };
}
