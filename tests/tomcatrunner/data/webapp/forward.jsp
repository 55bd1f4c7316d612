<p>this text is discarded by the forward</p>
<jsp:forward page="target.jsp"/>
