// Anchors the services library while none of its own sources exist yet.
namespace tidewell::services
{
int linked = 1;
}
