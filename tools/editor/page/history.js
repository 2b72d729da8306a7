// Undo and redo over whole snapshots of the point list: each step restores
// the exact coordinates it had, whatever the step was.
export class History {
  constructor() { this.undoStack = []; this.redoStack = []; }
  // Call with the state as it was before a change.
  record(snapshot) { this.undoStack.push(snapshot); this.redoStack = []; }
  undo(current) {
    if (!this.undoStack.length) return null;
    this.redoStack.push(current);
    return this.undoStack.pop();
  }
  redo(current) {
    if (!this.redoStack.length) return null;
    this.undoStack.push(current);
    return this.redoStack.pop();
  }
  get canUndo() { return this.undoStack.length > 0; }
  get canRedo() { return this.redoStack.length > 0; }
}

export function copyPoints(points) { return points.map((p) => ({ ...p })); }
