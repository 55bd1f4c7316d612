<html>
<head><title>Plain page</title></head>
<body>
<h1>Hello from pagerunner</h1>
<p>This page is template text only.</p>
</body>
</html>
