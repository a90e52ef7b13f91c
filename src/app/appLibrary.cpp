// Anchors the application library until the window's sources arrive.
namespace tidewell::app
{
int linked = 1;
}
