// PLACEHOLDER: replaced by the simulated drive and machine.
