// Controller of the main window: receives the native side's messages.

// Messages received so far, in arrival order (tag, value).
var received = [];

function sortMessages(tag, value) {
    received.push({
        "tag": tag,
        "value": value
    });
}
