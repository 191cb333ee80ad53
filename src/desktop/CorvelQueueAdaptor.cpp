#include "desktop/CorvelQueueAdaptor.h"

#include "desktop/MprisService.h"

CorvelQueueAdaptor::CorvelQueueAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service)
    , service(service)
{
}

void CorvelQueueAdaptor::QueueNext(const QStringList &Uris)
{
    service->queueNext(Uris);
}
