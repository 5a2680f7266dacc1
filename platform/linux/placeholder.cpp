// Replaced by the Linux platform layer.
